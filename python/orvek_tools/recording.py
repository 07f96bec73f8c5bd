"""The viewer's recordings: one CSV row per sample, written as it arrives.

    t,j1,j2,j3,j4,j5,j6,x,y,z,roll,pitch,yaw

"t" is seconds since the viewer started; joints and pose exactly as state() returned them.
"""

from __future__ import annotations

import csv
from pathlib import Path

COLUMNS = ["t", "j1", "j2", "j3", "j4", "j5", "j6", "x", "y", "z", "roll", "pitch", "yaw"]


class RecordingWriter:
    def __init__(self, path: Path):
        self.file = open(path, "w", newline="", encoding="utf-8")
        self.writer = csv.writer(self.file)
        self.writer.writerow(COLUMNS)
        self.file.flush()

    def write(self, t: float, joint: list[float], pose: list[float]) -> None:
        # repr keeps every digit, so a recording reads back exactly.
        self.writer.writerow([repr(v) for v in (t, *joint, *pose)])
        self.file.flush()  # a viewer stopped at any moment leaves whole rows

    def close(self) -> None:
        self.file.close()


def is_recording(path: Path) -> bool:
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.readline().strip() == ",".join(COLUMNS)


def read_recording(path: Path) -> list[list[float]]:
    """The rows of a recording as numbers; a last row cut short by a stop is left out."""
    rows = []
    with open(path, newline="", encoding="utf-8") as f:
        reader = csv.reader(f)
        if next(reader, None) != COLUMNS:
            raise ValueError(f"{path}: not a recording (its first line is not {','.join(COLUMNS)})")
        lines = list(reader)
    for number, row in enumerate(lines, start=2):
        if len(row) != len(COLUMNS) and number == len(lines) + 1:
            break  # the row being written when the viewer stopped
        try:
            if len(row) != len(COLUMNS):
                raise ValueError
            rows.append([float(v) for v in row])
        except ValueError:
            raise ValueError(f"{path}:{number}: expected {len(COLUMNS)} numbers, got {row}") from None
    return rows
