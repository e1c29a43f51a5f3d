"""What the checks wait for: a condition, bounded in time, never a sleep standing in for it, as
a slow machine (Wine under an emulator, a loaded CI) keeps no timing."""
import threading
import time


def until(condition, seconds, step=0.05):
    """Whether condition() came true within the seconds, asked every step."""
    deadline = time.monotonic() + seconds
    while True:
        if condition():
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(step)


class Lines:
    """A process's output read as it comes, so that a check waits for the line it needs."""

    def __init__(self, stream):
        self.lines = []
        self.changed = threading.Condition()
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for line in stream:
            with self.changed:
                self.lines.append(line.rstrip("\r\n"))
                self.changed.notify_all()

    def wait(self, condition, seconds):
        """Whether condition(lines) came true within the seconds."""
        with self.changed:
            return self.changed.wait_for(lambda: condition(self.lines), timeout=seconds)

    def said(self, text, seconds):
        """Whether a line holding the text came within the seconds."""
        return self.wait(lambda lines: any(text in line for line in lines), seconds)

    def text(self):
        """Everything, once the stream has ended (or ten seconds on)."""
        self.thread.join(timeout=10)
        return "\n".join(self.lines)
