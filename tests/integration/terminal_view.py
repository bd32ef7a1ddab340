#!/usr/bin/python3
"""The console's output on a terminal.

  terminal_view.py run COLUMNS -- COMMAND...
      Runs COMMAND with its standard output and error on a new pseudo-terminal
      COLUMNS wide and its standard input from /dev/null; copies what the
      terminal receives to standard output, byte for byte, and exits with the
      command's status.

  terminal_view.py check TRANSCRIPT PLAIN COLUMNS
      Replays TRANSCRIPT (of `run`) on a small terminal model and compares it
      with PLAIN, the output of the same run without a terminal. Fails unless
      the progress was one line redrawn in place (carriage return, erased to
      the end), never wider than the terminal, no "Progress" line scrolled,
      and every other line the same as in PLAIN, in the same order.
"""
import os
import pty
import re
import signal
import struct
import subprocess
import sys
import termios
import fcntl

PROGRESS = re.compile(r"^(\[[#-]+\] )? *\d+/\d+( |$)")


def run(columns, command):
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=slave, stderr=slave)
    os.close(slave)
    # Stopped from outside: the command stops too.
    signal.signal(signal.SIGTERM, lambda *_: (child.terminate(), child.wait(), sys.exit(143)))
    out = sys.stdout.buffer
    while True:
        try:
            data = os.read(master, 4096)
        except OSError:  # EIO: every writer has closed the terminal
            break
        if not data:
            break
        out.write(data)
        out.flush()
    return child.wait()


class Screen:
    """Rows of text under a cursor; long rows wrap, as a terminal's do."""

    def __init__(self, columns):
        self.columns = columns
        self.rows = [""]
        self.wrapped = [False]  # row i continues on row i + 1
        self.row = 0
        self.col = 0
        self.redraws = 0        # carriage return + erase, then the progress line
        self.problems = []

    def down(self):
        self.row += 1
        if self.row == len(self.rows):
            self.rows.append("")
            self.wrapped.append(False)

    def put(self, ch):
        if self.col == self.columns:
            self.wrapped[self.row] = True
            self.down()
            self.col = 0
        line = self.rows[self.row].ljust(self.col)
        self.rows[self.row] = line[:self.col] + ch + line[self.col + 1:]
        self.col += 1
        # Its last column stays free: a terminal may wrap on filling it.
        if self.col == self.columns and PROGRESS.match(self.rows[self.row]):
            self.problems.append("the progress line fills the width: " + self.rows[self.row])

    def feed(self, text):
        i = 0
        while i < len(text):
            ch = text[i]
            if ch == "\x1b":
                m = re.match(r"\x1b\[([0-9;]*)([A-Za-z])", text[i:])
                if not m:
                    self.problems.append("unknown control %r" % text[i:i + 8])
                    return
                number, final = m.group(1), m.group(2)
                if final == "K":
                    self.rows[self.row] = self.rows[self.row][:self.col]
                    if self.col == 0 and PROGRESS.match(text[i + len(m.group(0)):]):
                        self.redraws += 1
                elif final == "A":
                    self.row = max(0, self.row - int(number or 1))
                elif final != "m":
                    self.problems.append("unexpected control %r" % m.group(0))
                i += len(m.group(0))
                continue
            if ch == "\r":
                self.col = 0
            elif ch == "\n":
                self.down()
            else:
                self.put(ch)
            i += 1

    def lines(self):
        """The screen's lines, wrapped rows joined again."""
        out, current = [], ""
        for text, wrapped in zip(self.rows, self.wrapped):
            current += text
            if not wrapped:
                out.append(current)
                current = ""
        return out


def normal(line):
    # Two runs, two folders and two times in the log names.
    line = re.sub(r"/tmp/ramtune-[^ ]*?/(normal|terminal)/", "FOLDER/", line)
    return re.sub(r"_\d{14}\.txt", "_STAMP.txt", line)


def check(transcript_path, plain_path, columns):
    with open(transcript_path, "rb") as f:
        transcript = f.read().decode("latin-1")
    with open(plain_path, "rb") as f:
        plain = f.read().decode("latin-1")
    screen = Screen(columns)
    screen.feed(transcript)
    problems = list(screen.problems)
    lines = screen.lines()
    if lines and lines[-1] == "":
        lines.pop()
    scrolled_progress = [l for l in lines if l.startswith("Progress ")]
    if scrolled_progress:
        problems.append("Progress lines scrolled: %r" % scrolled_progress)
    bars = [l for l in lines if PROGRESS.match(l)]
    if len(bars) != 1:
        problems.append("%d progress lines on the screen, not one: %r" % (len(bars), bars))
    if screen.redraws < 3:
        problems.append("the progress line was drawn in place %d times" % screen.redraws)
    if "\x1b" in plain or "\r" in plain:
        problems.append("control characters in the output without a terminal")
    expected = [normal(l) for l in plain.split("\n")[:-1] if not l.startswith("Progress ")]
    shown = [normal(l) for l in lines if not PROGRESS.match(l)]
    if shown != expected:
        import difflib
        problems.append("the scrolled lines differ from the output without a terminal:\n" +
                        "\n".join(difflib.unified_diff(expected, shown, "without", "terminal", lineterm="")))
    for p in problems:
        print(p)
    return 1 if problems else 0


def main(argv):
    if len(argv) >= 4 and argv[1] == "run" and argv[3] == "--":
        return run(int(argv[2]), argv[4:])
    if len(argv) == 5 and argv[1] == "check":
        return check(argv[2], argv[3], int(argv[4]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
