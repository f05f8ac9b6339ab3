#!/usr/bin/python3
"""adc-plot against recordings made here and by adc-record (ADC_RECORD, with
NIDAQMX_LIBRARY naming the simulated NI-DAQmx)."""
import importlib.machinery
import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import soundfile

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "adc-plot")
_loader = importlib.machinery.SourceFileLoader("adc_plot", TOOL)
plot = importlib.util.module_from_spec(importlib.util.spec_from_loader("adc_plot", _loader))
_loader.exec_module(plot)


def write_wav(folder, codes, channels, rate=1000, name="rec"):
    """A WAV of int16 codes with its sidecar; channels are (name, unit, range, scale, offset)."""
    path = os.path.join(folder, name + ".wav")
    soundfile.write(path, codes, rate, subtype="PCM_16")
    with open(os.path.join(folder, name + ".channels.csv"), "w", encoding="utf-8") as f:
        # Comment lines and an extra column, as later writers may add.
        f.write("# written by the test\nchannel,name,unit,range,scale,offset,serial\n")
        for c, ch in enumerate(channels):
            f.write(f"{c},{ch[0]},{ch[1]},{ch[2]},{ch[3]},{ch[4]},0x0\n")
    return path


def write_csv(folder, codes, channels, rate=1000, name="rec"):
    """The same recording as adc-record's CSV of values, with a comment and an extra column."""
    path = os.path.join(folder, name + ".csv")
    with open(path, "w", encoding="utf-8") as f:
        f.write("# written by the test\nframe,time_s," + ",".join(f"{c[0]} [{c[1]}]" for c in channels) + ",note\n")
        for k, row in enumerate(codes):
            values = ",".join(f"{code / ch[3] + ch[4]:.9g}" for code, ch in zip(row, channels))
            f.write(f"{k},{k / rate:.9g},{values},x\n")
    return path


class EnvelopeTest(unittest.TestCase):
    def test_matches_direct_min_max_over_windows_and_blocks(self):
        data = np.random.default_rng(7).integers(-32768, 32768, size=(10007, 3), dtype=np.int16)
        with tempfile.TemporaryDirectory() as folder:
            rec = plot.WavRecording(write_wav(folder, data, [("a", "V", "", 1, 0)] * 3))
            # (first frame, frames, columns, frames per read): whole file, both
            # ends, columns that do not divide the frames, one frame per column,
            # reads smaller and larger than a column.
            cases = [(0, 10007, 997, 4096), (0, 10007, 10007, 333), (9000, 1007, 10, 7),
                     (0, 5, 2, 1), (3, 9999, 1000, 65536), (10006, 1, 1, 5)]
            for first, count, columns, block in cases:
                with self.subTest(first=first, count=count, columns=columns, block=block):
                    plot.BLOCK_FRAMES = block
                    lo, hi, edges = plot.envelope(rec.blocks(first, first + count, [0, 1, 2]), count, columns)
                    parts = np.array_split(data[first:first + count], columns)
                    np.testing.assert_array_equal(lo, [p.min(axis=0) for p in parts])
                    np.testing.assert_array_equal(hi, [p.max(axis=0) for p in parts])
                    np.testing.assert_array_equal(edges, np.cumsum([0] + [len(p) for p in parts]))
        plot.BLOCK_FRAMES = 1 << 16


class UnitsTest(unittest.TestCase):
    CHANNELS = [("ai0", "V", "±10 V", 3200, 0), ("TC0", "°C", "0...100 °C", 640, 50), ("p", "bar", "-5...1 bar",
                                                                                          10666.667, -2)]
    CODES = np.array([[-32768, -32000, 5], [-1, 0, 32767], [0, 32000, -7], [1, 32767, 0], [32767, -32768, 12345],
                      [32000, 1, -32768]], dtype=np.int16)

    def test_values_are_code_over_scale_plus_offset_with_clipped_codes_marked(self):
        scale = np.array([c[3] for c in self.CHANNELS])
        offset = np.array([c[4] for c in self.CHANNELS])
        units = self.CODES / scale + offset
        clipped = (self.CODES == -32768) | (self.CODES == 32767)
        with tempfile.TemporaryDirectory() as folder:
            wav = plot.WavRecording(write_wav(folder, self.CODES, self.CHANNELS))
            csv = plot.CsvRecording(write_csv(folder, self.CODES, self.CHANNELS))
            for rec in (wav, csv):
                with self.subTest(file=rec.path):
                    self.assertEqual((rec.frames, rec.rate), (6, 1000))
                    drawn = plot.traces(rec, [0, 1, 2], 0, 6, columns=100)
                    for k, t in enumerate(drawn):
                        self.assertFalse(t.enveloped)
                        np.testing.assert_allclose(t.lo, units[:, k], rtol=1e-8)
                        np.testing.assert_array_equal(t.clipped, clipped[:, k])
                        np.testing.assert_allclose(t.edges, np.arange(7) / 1000)
                    # Two columns of three frames: their extremes, and clipped where either end is.
                    top = plot.traces(rec, [1], 0, 6, columns=2)[0]
                    self.assertTrue(top.enveloped)
                    np.testing.assert_allclose(top.lo, [units[:3, 1].min(), units[3:, 1].min()], rtol=1e-8)
                    np.testing.assert_allclose(top.hi, [units[:3, 1].max(), units[3:, 1].max()], rtol=1e-8)
                    np.testing.assert_array_equal(top.clipped, [False, True])


def run_tool(*args, env=None):
    return subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True, env=env, timeout=120)


class RenderingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.wav = os.path.join(cls.folder.name, "demo.wav")
        cls.csv = os.path.join(cls.folder.name, "demo.csv")
        record = os.environ.get("ADC_RECORD")
        if not record:
            raise RuntimeError("ADC_RECORD must name adc-record (CTest sets it)")
        subprocess.run([record, "--task", "Demo4ch", "--frames", "3000", "--out", cls.wav, "--csv", cls.csv],
                       check=True, capture_output=True, timeout=60, env=dict(os.environ, NIDAQMX_SIM_FREE_RUNNING="1"))

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_one_panel_per_channel_with_name_unit_range_and_time(self):
        for path in (self.wav, self.csv):
            for channels, title, names in ((None, None, ["ai0", "ai1", "ai2", "ai3"]),
                                           ("ai2,0", "two of four", ["ai2", "ai0"])):
                with self.subTest(path=path, channels=channels):
                    figure = plot.plot(path, channels, start=0.5, duration=2.0, title=title)
                    axes = figure.get_axes()
                    self.assertEqual([a.get_ylabel() for a in axes], [f"{n} [V]\nrange ±10 V" for n in names])
                    self.assertEqual(axes[-1].get_xlabel(), "time [s]")
                    self.assertIn(title or os.path.basename(path), [t.get_text() for t in figure.texts])
                    for a in axes:
                        np.testing.assert_allclose(a.get_xlim(), (0.5, 2.5))

    def test_writes_png_and_svg(self):
        for name, magic in (("out.png", b"\x89PNG"), ("out.svg", b"<?xml")):
            out = os.path.join(self.folder.name, name)
            result = run_tool(self.wav, "--out", out, "--channels", "ai1")
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(out, "rb") as f:
                self.assertEqual(f.read(len(magic)), magic)

    def test_errors_name_the_file_and_exit_1_without_traceback(self):
        bad = os.path.join(self.folder.name, "bad.wav")
        write_wav(self.folder.name, np.zeros((10, 2), dtype=np.int16), [("a", "V", "", 1, 0)], name="bad")
        lonely = os.path.join(self.folder.name, "lonely.wav")
        soundfile.write(lonely, np.zeros((10, 1), dtype=np.int16), 1000, subtype="PCM_16")
        no_display = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        out = os.path.join(self.folder.name, "x.png")
        cases = [((lonely, "--out", out), "lonely.channels.csv: no such file"),
                 ((bad, "--out", out), "bad.channels.csv: describes 1 channels, "),
                 ((self.wav, "--out", out, "--channels", "ai9"), "demo.wav: no channel 'ai9'"),
                 ((self.csv, "--out", out, "--start", "3"), "demo.csv: window 3 s is outside the recording"),
                 ((self.wav, "--out", out, "--start", "1", "--duration", "0"), "demo.wav: window 1 s + 0 s"),
                 ((os.path.join(self.folder.name, "none.wav"), "--out", out), "none.wav: no such file"),
                 ((self.wav,), "no display")]
        for args, message in cases:
            with self.subTest(args=args):
                result = run_tool(*args, env=no_display)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)
                self.assertNotIn("Traceback", result.stderr)


if __name__ == "__main__":
    unittest.main()
