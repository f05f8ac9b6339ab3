"""adc-plot on a recording of adc-record (ADC_RECORD, NIDAQMX_LIBRARY naming the simulator)."""
import os
import runpy
import shutil
import subprocess
import tempfile
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "adc-plot")


class AdcPlot(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = cls.enterClassContext(tempfile.TemporaryDirectory())
        cls.wav, cls.csv = (os.path.join(cls.folder, "demo" + end) for end in (".wav", ".csv"))
        record = [os.environ["ADC_RECORD"], "-qt", "Demo4ch", "-d", "3", "-o", cls.wav, "--csv", cls.csv]
        subprocess.run(record, check=True, timeout=60, env=dict(os.environ, NIDAQMX_SIM_FREE_RUNNING="1"))

    def test_wav_with_sidecar_and_csv_each_give_a_png_with_a_panel_per_channel(self):
        plot = runpy.run_path(TOOL)["plot"]
        for path in (self.wav, self.csv):
            with self.subTest(path=path):
                result = subprocess.run([TOOL, path, "--out", path + ".png"], capture_output=True)
                self.assertEqual(result.returncode, 0, result.stderr)
                with open(path + ".png", "rb") as f:
                    self.assertEqual(f.read(4), b"\x89PNG")
                axes = plot(path).get_axes()
                self.assertEqual([a.get_ylabel() for a in axes], [f"ai{c} [V]\nrange ±10 V" for c in "0123"])
                self.assertLess(max(abs(y) for a in axes for y in a.get_ylim()), 100)  # volts, not codes

    def test_errors_print_one_line_naming_the_file_and_exit_1(self):
        lonely, out = (os.path.join(self.folder, name) for name in ("lonely.wav", "x.png"))
        shutil.copy(self.wav, lonely)  # without its sidecar
        for args, message in (((lonely,), "lonely.channels.csv: no such file"),
                              ((self.wav, "--channels", "ai9"), "demo.wav: no channel 'ai9'"),
                              ((self.csv, "--start", "3"), "demo.csv: window 3 s is outside the recording"),
                              ((self.wav, "--start", "1e308"), "demo.wav: "),
                              ((lonely + "x",), "lonely.wavx: no such file")):
            with self.subTest(args=args):
                result = subprocess.run([TOOL, *args, "--out", out], capture_output=True, text=True)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
                self.assertIn(message, result.stderr)


if __name__ == "__main__":
    unittest.main()
