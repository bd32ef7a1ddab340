"""The router's FTP service: an anonymous pyftpdlib server with write access,
bound to the router's own address, run in a thread of its own."""

import logging
import sys
import threading
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer

# Only warnings and errors of the FTP library reach stderr; the simulator logs
# uploads itself. A handler of our own also keeps the library from installing its
# INFO-level default logging.
_ftplog = logging.getLogger("pyftpdlib")
_handler = logging.StreamHandler(sys.stderr)
_handler.setFormatter(logging.Formatter("routersim ftp: %(message)s"))
_ftplog.addHandler(_handler)
_ftplog.setLevel(logging.WARNING)
_ftplog.propagate = False
warnings.filterwarnings("ignore", message="write permissions assigned to anonymous user")


def cutting_dtp_handler(router):
    """A data channel that, for an upload the router wants cut, keeps the first
    N bytes, closes the connection and answers 426, as a link that drops
    mid-transfer leaves it: the part stays on the router."""

    class CuttingDTPHandler(DTPHandler):
        def __init__(self, sock, cmd_channel):
            super().__init__(sock, cmd_channel)
            self._cut_after = None

        def enable_receiving(self, type, cmd):
            super().enable_receiving(type, cmd)
            if self.file_obj is not None:
                self._cut_after = router.upload_cut_after(self.file_obj.name)

        def handle_read(self):
            if self._cut_after is None:
                return super().handle_read()
            try:
                chunk = self.recv(self.ac_in_buffer_size)
            except Exception:
                return self.handle_error()
            room = self._cut_after - self.tot_bytes_received
            self.tot_bytes_received += len(chunk)
            if chunk and room > 0:
                self.file_obj.write(chunk[:room])
            if not chunk or self.tot_bytes_received >= self._cut_after:
                self.transfer_finished = False
                self._resp = ("426 Connection closed; transfer aborted.", logging.getLogger("pyftpdlib").info)
                self.close()

        handle_read_event = handle_read

    return CuttingDTPHandler


class FtpService:
    def __init__(self, router, port: int = 21):
        self.router = router
        self.port = port
        self._server = None
        self._thread = None
        self._stop = threading.Event()

    def start(self):
        self.stop()
        authorizer = DummyAuthorizer()
        authorizer.add_anonymous(self.router.ftp_root, perm="elradfmwMT")
        router = self.router

        class Handler(FTPHandler):
            def on_connect(self):
                # Where each connection comes from, for tests of several links.
                sys.stderr.write("routersim: ftp connection from %s\n" % self.remote_ip)
                sys.stderr.flush()

            def on_file_received(self, file):
                router.on_file_received(file)

        Handler.authorizer = authorizer
        Handler.dtp_handler = cutting_dtp_handler(router)
        Handler.banner = "FTP service of %s ready." % router.ip
        server = FTPServer((router.ip, self.port), Handler, ioloop=IOLoop())
        self._server = server
        self.bound_port = server.address[1]
        self._stop = threading.Event()
        stop = self._stop

        def serve():
            try:
                while not stop.is_set():
                    server.ioloop.loop(0.2, blocking=False)
            finally:
                server.close_all()

        self._thread = threading.Thread(target=serve, name="ftp-%s" % router.ip, daemon=True)
        self._thread.start()

    def stop(self):
        if self._thread is not None:
            self._stop.set()
            self._thread.join(timeout=5)
        self._thread = None
        self._server = None
