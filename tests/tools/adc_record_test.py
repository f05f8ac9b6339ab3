"""adc-record as a user runs it, against the simulated NI-DAQmx: its files
read by readers written elsewhere (python3-soundfile, soxi), interruptions and
a write limit that leave readable files, and the exit code and message for
each bad input.

Environment: ADC_RECORD (the executable), NIDAQMX_LIBRARY (the simulator)."""
import csv
import os
import re
import resource
import signal
import subprocess
import tempfile
import time
import unittest

import soundfile

ADC_RECORD = os.environ["ADC_RECORD"]


def config(tasks):
    """An NI MAX export with the given tasks: (name, channel count, task keys)."""
    lines = ["[DAQmx]", "MajorVersion = 21", "MinorVersion = 3", ""]
    for name, channels, keys in tasks:
        names = [f"{name}/ai{c}" for c in range(channels)]
        lines += [f"[DAQmxTask {name}]", "Channels = " + ", ".join(names), *keys, ""]
        for c, channel in enumerate(names):
            lines += [f"[DAQmxChannel {channel}]", "ChanType = Analog Input",
                      f"PhysicalChanName = Dev1/ai{c}", "AI.Min = -10", "AI.Max = 10", ""]
    lines += ["[DAQmxDevice Dev1]", "ProductType = PCIe-6363", "Sim.AIChannels = 64", ""]
    return "\n".join(lines)


class AdcRecord(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory(prefix="adc-record-")
        self.addCleanup(self.folder.cleanup)

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def env(self, ini=None):
        env = dict(os.environ, NIDAQMX_SIM_CONFIG="")
        if ini is not None:
            env["NIDAQMX_SIM_CONFIG"] = self.path("sim.ini")
            with open(env["NIDAQMX_SIM_CONFIG"], "w") as out:
                out.write(ini)
        return env

    def run_tool(self, args, ini=None, **kwargs):
        return subprocess.run([ADC_RECORD, *args], env=self.env(ini), capture_output=True, text=True,
                              timeout=120, **kwargs)

    def readers(self, wav, soxi=True):
        """(frames, channels, rate) as soundfile sees the file, checked against soxi."""
        info = soundfile.info(wav)
        seen = (info.frames, info.channels, info.samplerate)
        if soxi:
            sox = [int(subprocess.check_output(["soxi", flag, wav], text=True)) for flag in ("-s", "-c", "-r")]
            self.assertEqual(tuple(sox), seen, wav)
        return seen

    def test_files_read_back_by_other_readers(self):
        cases = [  # task, options, frames, channels, rate
            ("Finite1s", [], 1000, 2, 1000),
            ("Demo4ch", ["--frames", "2500"], 2500, 4, 1000),
            ("MixedRanges", ["-d", "0.3"], 300, 4, 1000),
            ("OnDemand", ["--frames", "20"], 20, 2, 100),
        ]
        for task, options, frames, channels, rate in cases:
            with self.subTest(task=task):
                wav, data = self.path(task + ".wav"), self.path(task + ".csv")
                result = self.run_tool(["-t", task, "-o", wav, "--csv", data, *options])
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn(f"Task        {task}", result.stdout)
                self.assertEqual(self.readers(wav), (frames, channels, rate))
                with soundfile.SoundFile(wav) as f:
                    self.assertEqual((f.title, f.software), (task, "adc-record 1.0.0"))
                    self.assertRegex(f.date, r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
                    self.assertEqual("nominal" in f.comment, task == "OnDemand")
                with open(self.path(task + ".channels.csv"), newline="", encoding="utf-8") as f:
                    sidecar = list(csv.DictReader(f))
                self.assertEqual(len(sidecar), channels)
                self.assertTrue(all(row["name"] and row["unit"] and row["range"] and float(row["scale"]) > 0
                                    and float(row["offset"]) == float(row["offset"]) for row in sidecar))
                self.assertEqual({row["task"] for row in sidecar}, {task})
                self.assertEqual(sidecar[0]["rate_is_nominal"], "1" if task == "OnDemand" else "0")
                with open(data, newline="") as f:
                    rows = list(csv.reader(f))
                self.assertEqual(len(rows), frames + 1)
                self.assertEqual(rows[0][1], "read_time_s" if task == "OnDemand" else "time_s")

    def test_standard_output_streams_a_wav_of_unknown_length(self):
        wav = self.path("stream.wav")
        with open(wav, "wb") as out:
            result = subprocess.run([ADC_RECORD, "-t", "Finite1s", "-o", "-"], env=self.env(), stdout=out,
                                    stderr=subprocess.PIPE, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Task        Finite1s", result.stderr)  # the table moves off standard output
        self.assertEqual(self.readers(wav, soxi=False), (1000, 2, 1000))
        self.assertFalse(os.path.exists(self.path("-.channels.csv")))

    def start_continuous(self, wav, *options):
        """Demo4ch recording until a header update has described some frames."""
        process = subprocess.Popen([ADC_RECORD, "-t", "Demo4ch", "-o", wav, *options], env=self.env(),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(process.kill)
        for _ in range(300):
            try:
                if soundfile.info(wav).frames > 0:
                    return process
            except (OSError, RuntimeError):  # not there yet, or before its header
                pass
            time.sleep(0.1)
        self.fail("no header update within 30 s")

    def test_interrupted_recordings_stay_readable(self):
        for how, exit_code in ((signal.SIGINT, 0), (signal.SIGTERM, 0), (signal.SIGKILL, -signal.SIGKILL)):
            with self.subTest(signal=how.name):
                wav = self.path(how.name + ".wav")
                process = self.start_continuous(wav)
                process.send_signal(how)
                self.assertEqual(process.wait(timeout=60), exit_code)
                frames, channels, rate = self.readers(wav)
                self.assertEqual((channels, rate), (4, 1000))
                if how != signal.SIGKILL:  # finalised: the header describes every byte
                    self.assertEqual(os.path.getsize(wav) - frames * 8, self.header_size(wav))
                else:
                    self.assertGreater(frames, 0)

    @staticmethod
    def header_size(wav):
        with open(wav, "rb") as f:
            head = f.read(4096)
        return head.index(b"data") + 8

    def test_a_write_limit_stops_with_a_readable_file(self):
        wav = self.path("limited.wav")
        limit = 256 * 1024

        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # writes fail with EFBIG instead
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        ini = config([("Fast", 16, ["SampClk.Rate = 100000", "Sim.MaxRate = 2000000", "Sim.FreeRunning = 1"])])
        result = self.run_tool(["-o", wav], ini=ini, preexec_fn=limit_file_size)
        self.assertEqual(result.returncode, 4, result.stderr)
        self.assertIn(f"cannot write {wav}: File too large", result.stderr)
        frames, channels, _ = self.readers(wav)
        self.assertEqual(channels, 16)
        self.assertEqual(frames, (limit - self.header_size(wav)) // 32)  # every whole frame that was written

    def test_progress_only_where_asked_and_within_80_columns(self):
        ini = config([("Wide", 64, ["SampClk.Rate = 1000"])])
        quiet = self.run_tool(["--frames", "300"], ini=ini)
        self.assertNotIn("\r", quiet.stderr)
        shown = self.run_tool(["--frames", "300", "--progress"], ini=ini)
        lines = re.split(r"[\r\n]", shown.stderr)
        self.assertIn("clipped 0/64 ch", shown.stderr)
        self.assertLessEqual(max(len(line) for line in lines), 80)

    def test_exit_codes_and_messages(self):
        one = config([("Only", 1, [])])
        lost = config([("Lost", 1, ["Sim.LoseDeviceAfter = 500"])])
        failing = config([("Failing", 1, ["Sim.FailStart = -50103"])])
        missing = self.path("no/such/folder/x.wav")
        cases = [  # options, configuration, exit code, message
            (["--version"], None, 0, r"^adc-record 1\.0\.0$"),
            (["--help"], None, 0, r"Environment:[\s\S]*NIADC_TASK[\s\S]*Exit codes:[\s\S]*Examples:"),
            (["--bogus"], None, 1, r"--bogus"),
            (["--seconds", "abc"], None, 1, r"--seconds: must be a finite number of seconds above 0, not \"abc\""),
            (["-d", "nan"], None, 1, r"not \"nan\""),
            (["-d", "-1"], None, 1, r"not \"-1\""),
            (["--stall", "inf"], None, 1, r"--stall: must be a finite number"),
            (["--frames", "0"], None, 1, r"--frames: must be a whole number from 1"),
            (["--ring", "2147483648"], None, 1, r"--ring: must be a whole number from 1 to 2147483647"),
            (["-o", "x.wav", "--csv", "./x.wav"], None, 1, r"--out and --csv name the same file"),
            (["-o", "x.wav", "--csv", "x.channels.csv"], None, 1, r"--csv names the file that --out writes"),
            (["-t", "NoSuch"], None, 2, r"\"NoSuch\" is not a saved task.*Candidates: Demo4ch, MixedRanges"),
            (["-t", "OutputFirst"], None, 2, r"\"OutputFirst\" is not"),
            (["-t", "Demo4ch"], one, 2, r"\"Demo4ch\" is not.*Candidates: Only$"),
            (["--list"], None, 2, r"several saved tasks qualify; choose one with --task NAME: Demo4ch"),
            (["--list"], "[DAQmx]\nBogus\n", 2, r"sim\.ini:2: "),
            (["--list"], config([]), 2, r"no saved task has an analog-input channel first"),
            (["-t", "Demo4ch", "-o", missing], None, 4, f"cannot create {re.escape(missing)}: No such file"),
            (["-t", "Demo4ch", "-o", "/dev/full"], None, 4, r"cannot write /dev/full: No space left on device"),
            (["-o", self.path("f.wav")], failing, 3, r"the acquisition did not start: The specified resource is reserved"),
            (["--stall", "0.5"], lost, 5, r"no data arrived for 0\.5 s.*overran.*device was removed"),
        ]
        for options, ini, code, message in cases:
            with self.subTest(options=options):
                result = self.run_tool(options, ini=ini, cwd=self.folder.name)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertRegex((result.stdout if code == 0 else result.stderr).strip(), message)
        self.assertFalse(os.path.exists(self.path("f.wav")))  # nothing left by a failed start

    def test_a_bad_csv_path_leaves_no_wav(self):
        wav = self.path("kept.wav")
        result = self.run_tool(["-t", "Demo4ch", "-o", wav, "--csv", self.path("no/such.csv")])
        self.assertEqual(result.returncode, 4, result.stderr)
        self.assertNotIn("Task ", result.stdout)  # refused before the start
        self.assertFalse(os.path.exists(wav))
        self.assertFalse(os.path.exists(self.path("kept.channels.csv")))


if __name__ == "__main__":
    unittest.main()
