#!/usr/bin/python3
"""How long adc-plot takes to draw a long recording, against reading it.

    python3 bench/plot_bench.py [--minutes 10] [--channels 16] [--rate 10000] [--repeat 3]

Writes a recording of that size (16-bit WAV and its channel list, a sine with
noise and clipped stretches) into a temporary folder, then measures in the same
run: the baseline, reading every code with soundfile in adc-plot's blocks;
adc-plot's reading into per-column minimum and maximum; and adc-plot drawing
every channel of the whole file into a PNG, in process and as a command (with
its peak memory). Prints the best of the repetitions and the
ratio to the baseline.
"""
import argparse
import importlib.machinery
import importlib.util
import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np
import soundfile

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "adc-plot")
_loader = importlib.machinery.SourceFileLoader("adc_plot", TOOL)
plot = importlib.util.module_from_spec(importlib.util.spec_from_loader("adc_plot", _loader))
_loader.exec_module(plot)


def write_recording(path, frames, channels, rate):
    with soundfile.SoundFile(path, "w", rate, channels, subtype="PCM_16") as f:
        rng = np.random.default_rng(1)
        for at in range(0, frames, plot.BLOCK_FRAMES):
            t = np.arange(at, min(frames, at + plot.BLOCK_FRAMES))[:, None]
            wave = 34000 * np.sin(2 * np.pi * t / (rate * (1 + np.arange(channels))))
            noise = rng.integers(-500, 500, size=(len(t), channels))
            f.write(np.clip(wave + noise, -32768, 32767).astype(np.int16))
    with open(plot.sidecar_path(path), "w", encoding="utf-8") as f:
        f.write("channel,name,unit,range,scale,offset\n")
        f.writelines(f"{c},ai{c},V,±10 V,3200,0\n" for c in range(channels))


def read_all(path):
    with soundfile.SoundFile(path) as f:
        for block in f.blocks(plot.BLOCK_FRAMES, dtype="int16", always_2d=True):
            block.min()  # touch the codes, as any use would


def reduce_only(path):
    recording = plot.WavRecording(path)
    plot.traces(recording, list(range(len(recording.channels))), 0, recording.frames, 1200)


def render(path, out):
    plot.plot(path).savefig(out)


def best(action, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--minutes", type=float, default=10)
    p.add_argument("--channels", type=int, default=16)
    p.add_argument("--rate", type=int, default=10000)
    p.add_argument("--repeat", type=int, default=3)
    args = p.parse_args()
    frames = int(args.minutes * 60 * args.rate)
    with tempfile.TemporaryDirectory() as folder:
        wav, png = os.path.join(folder, "long.wav"), os.path.join(folder, "long.png")
        write_recording(wav, frames, args.channels, args.rate)
        size = os.path.getsize(wav)
        print(f"recording: {args.minutes:g} min, {args.channels} channels at {args.rate} frames/s, "
              f"{frames} frames, {size / 1e6:.0f} MB")
        read_all(wav)  # the file now sits in the page cache for every measurement
        baseline = best(lambda: read_all(wav), args.repeat)
        reduced = best(lambda: reduce_only(wav), args.repeat)
        drawn = best(lambda: render(wav, png), args.repeat)
        start = time.perf_counter()
        subprocess.run([sys.executable, TOOL, wav, "--out", png], check=True,
                       env=dict(os.environ, MPLBACKEND="Agg"))
        command = time.perf_counter() - start
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    print(f"baseline, read with soundfile:      {baseline:7.2f} s")
    print(f"adc-plot reads it into 1200 columns: {reduced:7.2f} s  ({reduced / baseline:.1f} x baseline)")
    print(f"adc-plot draws it into a PNG:       {drawn:7.2f} s  ({drawn / baseline:.1f} x baseline)")
    print(f"adc-plot as a command:              {command:7.2f} s  (with Python's start; peak memory {peak:.0f} MB)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
