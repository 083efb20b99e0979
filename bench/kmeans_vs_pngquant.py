#!/usr/bin/env python3
"""The 256-colour k-means of bench_kmeans against pngquant --speed 1 on the
same 1024x768 picture, both held to one core, runs interleaved.

Prints every run and the medians: the quantization alone (BM_KMeans/256/1)
against pngquant's whole process (reading, quantizing, remapping and writing
the PNG), the peak heap of this program's whole k-means road
(BM_KMeansPath/256, on one core and on all the given ones) and pngquant's
peak resident memory, with the load average before and after.

Usage: bench/kmeans_vs_pngquant.py [--build build] [--core 0] [--cores 0-3]
                                   [--runs 5]
pngquant comes from Debian's package of that name.
"""
import argparse
import csv
import io
import os
import shutil
import statistics
import subprocess
import sys
import tempfile


def bench_rows(binary, core_list, flt, threads):
    out = subprocess.run(
        ["taskset", "-c", core_list, binary, f"--threads={threads}", f"--benchmark_filter={flt}",
         "--benchmark_format=csv"],
        check=True, capture_output=True, text=True).stdout
    text = out[out.index("name,"):]
    return list(csv.DictReader(io.StringIO(text)))


def pngquant_once(core, src, dst):
    """Seconds and peak resident MB of one pngquant process, measured by a
    fresh parent of its own (the children's peak is that run's)."""
    code = ("import resource,subprocess,sys,time;"
            "t=time.monotonic();subprocess.run(sys.argv[1:],check=True);t=time.monotonic()-t;"
            "print(t,resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    out = subprocess.run([sys.executable, "-c", code, "taskset", "-c", str(core), "pngquant", "--speed", "1",
                          "256", "--force", "--output", dst, src], check=True, capture_output=True, text=True)
    seconds, kb = out.stdout.split()
    return float(seconds), int(kb) / 1024.0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default="build")
    ap.add_argument("--core", type=int, default=0, help="the one core both run on")
    ap.add_argument("--cores", default="0-3", help="the cores of the all-processors road")
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    if not shutil.which("pngquant"):
        sys.exit("pngquant is not installed (Debian package pngquant)")
    binary = os.path.join(args.build, "bench", "bench_kmeans")
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "photo.png")
        dst = os.path.join(tmp, "out.png")
        subprocess.run([binary, f"--write_photo={src}"], check=True)
        print("load average before: %s" % " ".join(open("/proc/loadavg").read().split()[:3]))
        ours, theirs, peaks = [], [], []
        for i in range(args.runs):
            row = bench_rows(binary, str(args.core), "^BM_KMeans/256/1/", 1)[0]
            ours.append(float(row["real_time"]) / 1000.0)
            seconds, mb = pngquant_once(args.core, src, dst)
            theirs.append(seconds)
            peaks.append(mb)
            print(f"run {i + 1}: k-means quantization {ours[-1]:.3f} s   pngquant --speed 1 {theirs[-1]:.3f} s")
        threads = len(expand(args.cores))
        one = bench_rows(binary, str(args.core), "^BM_KMeansPath/256/1/", 1)[0]
        many = bench_rows(binary, args.cores, f"^BM_KMeansPath/256/{threads}/", threads)[0]
        print("load average after:  %s" % " ".join(open("/proc/loadavg").read().split()[:3]))
        print(f"median of {args.runs}: k-means quantization on one core {statistics.median(ours):.3f} s, "
              f"pngquant --speed 1 whole process {statistics.median(theirs):.3f} s "
              f"(ratio {statistics.median(ours) / statistics.median(theirs):.2f})")
        print(f"peak memory: whole k-means road {float(one['peak_heap_MB']):.1f} MB heap on one core, "
              f"{float(many['peak_heap_MB']):.1f} MB on {threads}; pngquant {statistics.median(peaks):.1f} MB resident")


def expand(cores):
    result = []
    for part in cores.split(","):
        if "-" in part:
            a, b = part.split("-")
            result.extend(range(int(a), int(b) + 1))
        else:
            result.append(int(part))
    return result


if __name__ == "__main__":
    main()
