#!/usr/bin/env python3
"""Speed ratios of the conversion kernels, from convert_bench's JSON output.

    convert_bench --benchmark_format=json | python3 bench/ratios.py
    python3 bench/ratios.py results.json

For each case (channels, size) prints the selected kernel's throughput and its
ratio to the scalar reference and to the three-pass conversion, then every
other kernel's ratio to the scalar reference.
"""
import json
import sys


def load(argv):
    if len(argv) > 1:
        with open(argv[1], encoding="utf-8") as f:
            return json.load(f)
    return json.load(sys.stdin)


def throughputs(report):
    """{(channels, size): {implementation: items per second}}, mean of repetitions."""
    runs = {}
    for b in report.get("benchmarks", []):
        if b.get("run_type", "iteration") != "iteration" or "items_per_second" not in b:
            continue
        _, impl, channels, size = b["name"].split("/")[:4]
        runs.setdefault((channels, size), {}).setdefault(impl, []).append(b["items_per_second"])
    return {case: {impl: sum(v) / len(v) for impl, v in impls.items()} for case, impls in runs.items()}


def main(argv):
    report = load(argv)
    selected = report.get("context", {}).get("selected_kernel", "?")
    cases = throughputs(report)
    print(f"selected kernel: {selected}")
    print(f"{'case':<16}{'selected Mval/s':>16}{'x scalar':>10}{'x 3-pass':>10}   others x scalar")
    order = sorted(cases, key=lambda c: (c[1] != "40ms", int(c[0].split(":")[1])))
    for case in order:
        t = cases[case]
        sel = t.get("selected")
        scalar = t.get("scalar")
        three = t.get("three_pass")
        if sel is None or scalar is None or three is None:
            continue
        others = "  ".join(f"{k} {v / scalar:.1f}" for k, v in sorted(t.items())
                           if k not in ("selected", "scalar", "three_pass"))
        print(f"{case[0] + ' ' + case[1]:<16}{sel / 1e6:>16.0f}{sel / scalar:>10.1f}{sel / three:>10.1f}   {others}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
