"""Checks WAV files written elsewhere (by adc-record under Wine): python3-soundfile
and soxi must both see the expected frames, channels and rate.

Arguments: FILE FRAMES CHANNELS RATE, repeated."""
import subprocess
import sys

import soundfile

args = sys.argv[1:]
failed = False
for at in range(0, len(args), 4):
    path, expected = args[at], tuple(int(a) for a in args[at + 1:at + 4])
    info = soundfile.info(path)
    seen = {"soundfile": (info.frames, info.channels, info.samplerate),
            "soxi": tuple(int(subprocess.check_output(["soxi", flag, path], text=True)) for flag in ("-s", "-c", "-r"))}
    for reader, got in seen.items():
        if got != expected:
            print(f"{path}: {reader} sees {got}, expected {expected}")
            failed = True
sys.exit(1 if failed else 0)
