"""Checks WAV files with python3-soundfile and soxi. Arguments: FILE FORMAT FRAMES CHANNELS RATE, repeated."""
import subprocess
import sys

import soundfile


def seen(path):
    """(format, frames, channels, rate) as soundfile sees the file, or where soxi disagrees."""
    info = soundfile.info(path)
    got = (info.frames, info.channels, info.samplerate)
    sox = tuple(int(subprocess.check_output(["soxi", flag, path], text=True)) for flag in ("-s", "-c", "-r"))
    return (info.format, *got) if sox == got else f"soxi sees {sox}, soundfile {got}"


if __name__ == "__main__":
    groups = [sys.argv[at:at + 5] for at in range(1, len(sys.argv), 5)]
    wrong = [f"{p}: {seen(p)}, expected {e}" for p, *e in groups if seen(p) != (e[0], *map(int, e[1:]))]
    sys.exit("\n".join(wrong) if wrong else 0)
