"""adc-record (ADC_RECORD) against the simulated NI-DAQmx (NIDAQMX_LIBRARY): its
files as other readers see them, and its exit codes and messages."""
import csv
import os
import resource
import signal
import subprocess
import tempfile
import time
import unittest

import numpy as np
import soundfile
from check_wav import seen


def config(*keys):
    """An NI MAX export with one task of one analog input, with these keys."""
    return "\n".join(["[DAQmx]", "MajorVersion = 21", "[DAQmxTask Only]", "Channels = Only/ai0", *keys,
                      "[DAQmxChannel Only/ai0]", "ChanType = Analog Input", "PhysicalChanName = Dev1/ai0",
                      "[DAQmxDevice Dev1]", "ProductType = PCIe-6363", ""])


def data_chunk(wav):
    """Offset and size of the data chunk as the header gives them; (0, 0) before there is one."""
    with open(wav, "rb") as f:
        head = f.read(4096)
    at = head.find(b"data") + 8
    return (at, int.from_bytes(head[at - 4:at], "little")) if at > 8 else (0, 0)


class AdcRecord(unittest.TestCase):
    def setUp(self):
        self.folder = self.enterContext(tempfile.TemporaryDirectory(prefix="adc-record-"))
        self.path = lambda name: os.path.join(self.folder, name)

    def run_tool(self, args, ini="", stdout=subprocess.PIPE, env=(), **kwargs):
        with open(self.path("sim.ini"), "w") as out:
            out.write(ini)
        env = dict(os.environ, NIDAQMX_SIM_CONFIG=self.path("sim.ini") if ini else "", **dict(env))
        return subprocess.run([os.environ["ADC_RECORD"], *args], env=env, stdout=stdout,
                              stderr=subprocess.PIPE, text=True, timeout=120, **kwargs)

    def test_wav_sidecar_and_csv_describe_the_same_values(self):
        for task, options, expected in (("Finite1s", [], ("WAV", 1000, 2, 1000)),
                                        ("MixedRanges", ["-d", "0.3"], ("WAVEX", 300, 4, 1000)),
                                        ("OnDemand", ["--frames", "20"], ("WAV", 20, 2, 100))):
            with self.subTest(task=task):
                wav, data = self.path(task + ".wav"), self.path(task + ".csv")
                result = self.run_tool(["-t", task, "-o", wav, "--csv", data, *options])
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(seen(wav), expected)
                codes = soundfile.read(wav, dtype="int16")[0]
                with open(self.path(task + ".channels.csv"), newline="", encoding="utf-8") as f:
                    sidecar = list(csv.DictReader(f))
                with open(data, newline="", encoding="utf-8") as f:
                    header, *rows = list(csv.reader(f))
                self.assertEqual(header, ["frame", "read_time_s" if task == "OnDemand" else "time_s",
                                          *(f"{c['name']} [{c['unit']}]" for c in sidecar)])
                scale, offset = (np.array([float(c[key]) for c in sidecar]) for key in ("scale", "offset"))
                values = np.array(rows, dtype=float)[:, 2:]
                np.testing.assert_allclose(values, codes / scale + offset, rtol=1e-6)

    def test_standard_output_streams_a_wav_of_unknown_length(self):
        with open(self.path("stream.wav"), "wb") as out:
            result = self.run_tool(["-t", "Finite1s", "-o", "-"], stdout=out, cwd=self.folder)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Task        Finite1s", result.stderr)  # the table moves off standard output
        self.assertEqual(soundfile.info(self.path("stream.wav")).frames, 1000)
        self.assertFalse(os.path.exists(self.path("-.channels.csv")))

    def test_interrupted_recordings_stay_readable(self):
        for how, exit_code in ((signal.SIGINT, 0), (signal.SIGTERM, 0), (signal.SIGKILL, -signal.SIGKILL)):
            with self.subTest(signal=how.name):
                wav = self.path(how.name + ".wav")
                process = subprocess.Popen([os.environ["ADC_RECORD"], "-t", "Demo4ch", "-o", wav, "-q"])
                self.addCleanup(process.kill)
                while not os.path.exists(wav) or data_chunk(wav)[1] == 0:  # until a header update
                    time.sleep(0.1)
                process.send_signal(how)
                self.assertEqual(process.wait(timeout=60), exit_code)
                self.assertEqual(seen(wav)[2:], (4, 1000))
                if how != signal.SIGKILL:  # finalised: the header describes every byte
                    self.assertEqual(sum(data_chunk(wav)), os.path.getsize(wav))

    def test_a_write_limit_stops_with_every_whole_frame_readable(self):
        wav, limit = self.path("limited.wav"), 256 * 1024 + 4  # ends within a frame
        # Python ignores SIGXFSZ; kept so, writes past the limit fail with EFBIG.
        result = self.run_tool(["-t", "Demo4ch", "-o", wav], env={"NIDAQMX_SIM_FREE_RUNNING": "1"},
                               restore_signals=False,
                               preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit)))
        self.assertEqual(result.returncode, 4, result.stderr)
        self.assertIn(f"cannot write {wav}: File too large", result.stderr)
        at, size = data_chunk(wav)
        self.assertEqual(size, (limit - at) // 8 * 8)  # every whole frame that was written
        self.assertEqual(seen(wav)[1:3], (size // 8, 4))

    def test_exit_codes_and_messages(self):
        cases = [  # options, configuration, exit code, message
            (["--seconds", "abc"], "", 1, r"--seconds: must be a finite number .* not \"abc\""),
            (["-d", "nan"], "", 1, r"not \"nan\""),
            (["--stall", "-1"], "", 1, r"--stall: must be a finite number .* not \"-1\""),
            (["--frames", "0"], "", 1, r"--frames: must be a whole number from 1"),
            (["--ring", "2147483648"], "", 1, r"--ring: must be a whole number from 1 to 2147483647"),
            (["-o", "x.wav", "--csv", "./x.wav"], "", 1, r"--out and --csv name the same file"),
            (["-o", "x.wav", "--csv", "x.channels.csv"], "", 1, r"--csv names the file that --out writes"),
            (["-t", "OutputFirst"], "", 2, r"\"OutputFirst\" is not a saved task.*Candidates: Demo4ch, Mix"),
            (["--list"], "", 2, r"several saved tasks qualify; choose one with --task NAME: Demo4ch"),
            (["--list"], "[DAQmx]\n", 2, r"no saved task has an analog-input channel first"),
            (["-t", "Demo4ch", "-o", "no/such/x.wav"], "", 4, r"cannot create no/such/x\.wav: No such file"),
            (["-t", "Demo4ch", "-o", "k.wav", "--csv", "no/x.csv"], "", 4, r"cannot create no/x\.csv: No"),
            (["-t", "Demo4ch", "-o", "/dev/full"], "", 4, r"cannot write /dev/full: No space left on device"),
            (["-o", "f.wav"], config("Sim.FailStart = -50103"), 3, r"did not start: .* reserved"),
            (["--stall", "1"], config("Sim.LoseDeviceAfter = 500"), 5, r"no data arrived for 1 s.*removed"),
        ]
        for options, ini, code, message in cases:
            with self.subTest(options=options):
                result = self.run_tool(options, ini=ini, cwd=self.folder)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertRegex(result.stderr.strip(), message)
        self.assertEqual(os.listdir(self.folder), ["sim.ini"])  # nothing left by a refused start


if __name__ == "__main__":
    unittest.main()
