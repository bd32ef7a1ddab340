#!/usr/bin/python3
"""A host that holds the router's address on another link and answers nothing:
it counts the service requests (discovery and the rest) and the FTP
connections it receives, and rewrites COUNTS_FILE after each one as
"discovery=N commands=N ftp=N". Prints READY once its sockets are bound.
With --ftp-only it holds no UDP socket (a simulated router serves the
information service beside it) and counts FTP connections only.

    decoy.py COUNTS_FILE [--ftp-only]
"""
import select
import socket
import sys

SERVICE_PORT = 9999
DISCOVERY = 31


def main():
    counts_file = sys.argv[1]
    ftp_only = sys.argv[2:] == ["--ftp-only"]
    counts = {"discovery": 0, "commands": 0, "ftp": 0}

    def write():
        with open(counts_file, "w") as fh:
            fh.write(" ".join("%s=%d" % item for item in counts.items()) + "\n")

    sockets = []
    if not ftp_only:
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        udp.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        udp.bind(("", SERVICE_PORT))
        sockets.append(udp)
    ftp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    ftp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    ftp.bind(("", 21))
    ftp.listen(8)
    sockets.append(ftp)
    write()
    print("READY", flush=True)
    while True:
        readable, _, _ = select.select(sockets, [], [])
        if not ftp_only and udp in readable:
            data, _ = udp.recvfrom(2048)
            # Requests start 12 21, the operation in bytes 2-3 (little-endian).
            if len(data) >= 4 and data[0] == 12 and data[1] == 21:
                operation = data[2] | data[3] << 8
                counts["discovery" if operation == DISCOVERY else "commands"] += 1
        if ftp in readable:
            connection, _ = ftp.accept()
            connection.close()
            counts["ftp"] += 1
        write()


if __name__ == "__main__":
    main()
