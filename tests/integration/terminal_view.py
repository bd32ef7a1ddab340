#!/usr/bin/python3
"""The console's output on a terminal.

  terminal_view.py run COLUMNS -- COMMAND...
      COMMAND with its output on a new pseudo-terminal COLUMNS wide and its
      input from /dev/null; what the terminal receives goes to standard
      output as it is. Exits with the command's status.
  terminal_view.py check TRANSCRIPT PLAIN COLUMNS
      Fails unless the progress in TRANSCRIPT (of `run`) was one line redrawn
      in place (carriage return, erased to its end), always narrower than the
      terminal, no "Progress" line scrolled, and every other line as in PLAIN,
      the output of the same run without a terminal.
"""
import fcntl, os, pty, re, signal, struct, subprocess, sys, termios

PROGRESS = re.compile(r"^(\[[#-]+\] )? *\d+/\d+( |$)")


def run(columns, command):
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=slave, stderr=slave)
    os.close(slave)
    signal.signal(signal.SIGTERM, lambda *_: (child.terminate(), child.wait(), sys.exit(143)))
    while True:
        try:
            data = os.read(master, 4096)
        except OSError:  # EIO: the command has closed the terminal
            break
        if not data:
            break
        sys.stdout.buffer.write(data)
        sys.stdout.buffer.flush()
    return child.wait()


def normal(line):   # two runs: two folders, two times in the log names
    line = re.sub(r"/(normal|terminal)/", "/FOLDER/", line)
    return re.sub(r"_\d{14}\.txt", "_STAMP.txt", line)


def check(transcript, plain, columns):
    # Each erase takes the bottom line, what follows the last line end.
    chunks = transcript.replace("\r\n", "\n").split("\r\x1b[K")
    erased = [chunk.rpartition("\n")[2] for chunk in chunks[:-1]]
    screen = "".join(chunk.rpartition("\n")[0] + "\n" if "\n" in chunk else "" for chunk in chunks[:-1])
    lines = re.sub(r"\x1b\[[0-9;]*m", "", screen + chunks[-1]).split("\n")[:-1]
    bars = [l for l in erased + lines if PROGRESS.match(l)]
    problems = ["not a progress line, erased: %r" % l for l in erased if not PROGRESS.match(l)]
    problems += ["as wide as the terminal: %r" % l for l in bars if len(l) >= columns]
    problems += ["scrolled: %r" % l for l in lines if l.startswith("Progress ")]
    if len([l for l in lines if PROGRESS.match(l)]) != 1:
        problems.append("not one progress line left on the screen, as it ended")
    if len(erased) < 3 or "\r" in transcript.replace("\r\n", "").replace("\r\x1b[K", ""):
        problems.append("not redrawn in place: %d erases" % len(erased))
    if re.search("[\x1b\r]", plain):
        problems.append("control characters without a terminal")
    expected = [normal(l) for l in plain.split("\n")[:-1] if not l.startswith("Progress ")]
    shown = [normal(l) for l in lines if not PROGRESS.match(l)]
    if shown != expected:
        problems.append("other lines differ:\n%s\n---\n%s" % ("\n".join(expected), "\n".join(shown)))
    if problems:
        print("\n".join(problems))
    return 1 if problems else 0


def main(argv):
    if len(argv) >= 4 and argv[1] == "run" and argv[3] == "--":
        return run(int(argv[2]), argv[4:])
    if len(argv) == 5 and argv[1] == "check":
        read = lambda path: open(path, "rb").read().decode("latin-1")
        return check(read(argv[2]), read(argv[3]), int(argv[4]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
