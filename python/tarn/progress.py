"""A one-line text progress bar for terminals."""

import sys
import time

_REDRAW_INTERVAL = 0.1  # seconds between redraws


class ProgressBar:
    """Counts completed items and redraws one line on a terminal stream.

    Draws nothing when the stream (standard error by default) is not a terminal, unless enabled
    is True. Use as a context manager, or call close() to end the line.
    """

    def __init__(self, total, label="", stream=None, enabled=None, width=30):
        self.stream = sys.stderr if stream is None else stream
        if enabled is None:
            enabled = hasattr(self.stream, "isatty") and self.stream.isatty()
        self.enabled = bool(enabled) and total > 0
        self.total = total
        self.done = 0
        self.label = label
        self.width = width
        self._start = time.monotonic()
        self._drawn_at = None

    def advance(self, count=1):
        self.done += count
        now = time.monotonic()
        if self.enabled and (self._drawn_at is None or self.done >= self.total
                             or now - self._drawn_at >= _REDRAW_INTERVAL):
            self._draw(now)

    def _draw(self, now):
        fraction = min(self.done / self.total, 1.0)
        filled = int(round(fraction * self.width))
        elapsed = int(now - self._start)
        line = (f"{self.label} {self.done}/{self.total} "
                f"[{'#' * filled}{'.' * (self.width - filled)}] {fraction:4.0%} "
                f"{elapsed // 60}:{elapsed % 60:02d}")
        self.stream.write("\r" + line.lstrip() + "\033[K")
        self.stream.flush()
        self._drawn_at = now

    def close(self):
        if self.enabled and self._drawn_at is not None:
            self.stream.write("\n")
            self.stream.flush()
            self._drawn_at = None

    def __enter__(self):
        if self.enabled:
            self._draw(time.monotonic())
        return self

    def __exit__(self, *exc_info):
        self.close()
