"""Times folicant against the byte-copy limit and the general image tools, and checks their pages.

Run through bench/run, which builds everything and makes the corpus first. For each workload, each
round runs every tool once, in an order that turns from round to round, all writing below the same
directory: folicant, cp (the bytes once), split -n N (the same bytes into as many files as there
are pages), Pillow and ImageMagick. A run is timed as a whole process, from before its start to
after its end, with the input warm in the page cache, the previous output removed and the file
system synced before the clock starts; /usr/bin/time -v reports its peak resident memory. The peers
are slow, so they take part only in the first rounds, and a peer whose first run takes more than a
minute (--peer-patience) runs only once.

After the rounds, the last pages each tool left are checked against the input: the page count,
whether each page kept the input page's compression (and its predictor), and whether it decodes to
the same pixels.
"""
import argparse
import hashlib
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

from PIL import Image

# The 2 GiB page is opened for its tags only, never decoded.
Image.MAX_IMAGE_PIXELS = None

WORKLOADS = ["fax500", "scan50", "raw8", "tiny999", "jpeg40", "tiled20", "meta300", "huge2g"]
BYTE_BOUND = {"raw8", "scan50", "tiled20"}
# The same pages without their metadata, timed in the same rounds as "folicant-plain" and
# "cp-plain": what carrying every tag costs.
PAIRED = {"meta300": "plain300"}
# Workloads the peers sit out: they show folicant's own costs, not a comparison.
NO_PEERS = {"meta300", "huge2g"}
# Pages too large to decode for the check: their stored strips are compared instead.
NO_DECODE = {"huge2g"}
PEER_SPEEDUP_20 = {"fax500", "scan50", "jpeg40", "tiled20"}
TOOLS = ["folicant", "before", "folicant-r", "before-r", "cp", "split", "pillow", "magick",
         "folicant-plain", "cp-plain"]
# folicant's own runs: this build, the build before it (--folicant-before), and both with /r
# (--remove), each splitting and removing a fresh hard link of the input.
FOLICANT_RUNS = {"folicant", "before", "folicant-r", "before-r"}
PEERS = ["pillow", "magick"]
MIB = 1024 * 1024

COMPRESSION_NAMES = {1: "none", 3: "G3", 4: "G4", 5: "LZW", 7: "JPEG", 8: "Deflate",
                     32773: "PackBits", 32946: "Deflate"}


def windows_path(path):
    """folicant's paths take backslashes, and a word that starts with / is an option."""
    return os.path.abspath(path).replace("/", "\\")


class Bench:
    def __init__(self, args):
        self.args = args
        self.folicant = os.path.abspath(args.folicant)
        self.before = os.path.abspath(args.folicant_before) if args.folicant_before else None
        self.peer_script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "peer_pillow.py")
        self.work = os.path.abspath(args.work)
        self.magick_mode = {}

    def out_dir(self, tool):
        return os.path.join(self.work, tool)

    def command(self, tool, workload, source, pages):
        out = self.out_dir(tool)
        if tool.endswith("-plain"):
            tool = tool[:-len("-plain")]
            source = os.path.join(os.path.dirname(source), PAIRED[workload] + ".tif")
        if tool in FOLICANT_RUNS:
            program = self.before if tool.startswith("before") else self.folicant
            if tool.endswith("-r"):
                return [program, windows_path(self.link_path(tool)), "/p" + windows_path(out), "/r"]
            return [program, windows_path(source), "/p" + windows_path(out)]
        if tool == "cp":
            return ["cp", source, out + "/"]
        if tool == "split":
            return ["split", "-n", str(pages), "-a", "3", "-d", source, out + "/" + workload + "."]
        if tool == "pillow":
            return ["/usr/bin/python3", self.peer_script, source, out + "/" + workload]
        if tool == "magick":
            if self.magick_mode.get(workload) == "whole":
                return ["convert", source, out + "/" + workload + ".%03d"]
            # One process per page: Debian's resource policy makes convert give up on this file
            # when it reads all of it at once.
            script = ('for i in $(seq 0 %d); do convert "$1[$i]" "$(printf "$2.%%03d" "$i")" || exit 1; done'
                      % (pages - 1))
            return ["bash", "-c", script, "magick", source, out + "/" + workload]
        raise ValueError(tool)

    def link_path(self, tool):
        return os.path.join(self.work, tool + "-input.tif")

    def clean(self, tool):
        out = self.out_dir(tool)
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)

    def run(self, tool, workload, source, pages):
        """One timed run: (seconds, peak resident KiB, exit status)."""
        self.clean(tool)
        if tool.endswith("-r"):
            # /r removes what it split: a fresh hard link of the input each run, made untimed.
            link = self.link_path(tool)
            if os.path.lexists(link):
                os.unlink(link)
            os.link(source, link)
        # Output of the previous run reaches the disk now rather than during this one.
        os.sync()
        report = os.path.join(self.work, "time.txt")
        command = ["/usr/bin/time", "-v", "-o", report] + self.command(tool, workload, source, pages)
        with open(os.path.join(self.work, tool + ".log"), "wb") as log:
            start = time.perf_counter()
            status = subprocess.call(command, stdout=log, stderr=log, cwd=self.work)
            seconds = time.perf_counter() - start
        peak = 0
        with open(report) as lines:
            for line in lines:
                if "Maximum resident set size" in line:
                    peak = int(line.split(":")[1])
        return seconds, peak, status

    def choose_magick_mode(self, workload, source, pages):
        """The whole file in one convert when Debian's policy lets it finish, else page by page."""
        self.magick_mode[workload] = "whole"
        _, _, status = self.run("magick", workload, source, pages)
        written = len(os.listdir(self.out_dir("magick")))
        if status != 0 or written != pages:
            self.magick_mode[workload] = "per page"
        self.clean("magick")

    def time_workload(self, workload):
        source = os.path.abspath(os.path.join(self.args.corpus, workload + ".tif"))
        pages = count_pages(source)
        # Warm cache: the input read once, and each fast tool run once untimed.
        with open(source, "rb") as data:
            while data.read(1 << 24):
                pass
        wanted = set(self.args.tools)
        if "folicant" in wanted and self.before:
            wanted.add("before")
        if "folicant" in wanted and self.args.remove:
            wanted |= {"folicant-r", "before-r"} if self.before else {"folicant-r"}
        tools = [t for t in TOOLS if t in wanted or (t.endswith("-plain") and workload in PAIRED
                                                     and t[:-len("-plain")] in wanted)]
        tools = [t for t in tools if not (t.endswith("-plain") and workload not in PAIRED)]
        if workload in NO_PEERS:
            tools = [t for t in tools if t not in PEERS]
        if "magick" in tools:
            self.choose_magick_mode(workload, source, pages)
        for tool in tools:
            if tool not in PEERS:
                self.run(tool, workload, source, pages)
        samples = {tool: [] for tool in tools}
        for round_index in range(self.args.rounds):
            turn = round_index % len(tools)
            for tool in tools[turn:] + tools[:turn]:
                if tool in PEERS and round_index >= self.args.peer_rounds:
                    continue
                # A peer that needs minutes a run is thousands of times slower; one run tells it.
                if tool in PEERS and samples[tool] and samples[tool][0]["seconds"] > self.args.peer_patience:
                    continue
                seconds, peak, status = self.run(tool, workload, source, pages)
                samples[tool].append({"seconds": seconds, "peak_kib": peak, "status": status})
                print("  %-8s %-8s round %d: %.3f s, %d KiB, status %d"
                      % (workload, tool, round_index + 1, seconds, peak, status), flush=True)
        result = {"pages": pages, "bytes": os.path.getsize(source), "tools": {},
                  "largest_chunk": largest_stored_chunk(source),
                  "magick_mode": self.magick_mode.get(workload)}
        for tool, runs in samples.items():
            result["tools"][tool] = {
                "median_s": statistics.median(r["seconds"] for r in runs),
                "min_s": min(r["seconds"] for r in runs),
                "max_s": max(r["seconds"] for r in runs),
                "runs": len(runs),
                "peak_kib": max(r["peak_kib"] for r in runs),
                "statuses": sorted(set(r["status"] for r in runs)),
            }
        # The last run of each tool left its pages; check them, then free the disk.
        result["checks"] = self.check(workload, source, pages, tools)
        for tool in tools:
            shutil.rmtree(self.out_dir(tool), ignore_errors=True)
        return result

    def check(self, workload, source, pages, tools):
        reference = page_digests(source) if workload not in NO_DECODE else [{}]
        checks = {}
        for tool in tools:
            out = self.out_dir(tool)
            if tool.endswith("-plain"):
                continue
            if workload in NO_DECODE and tool not in ("cp", "split"):
                names = sorted(os.listdir(out))
                checks[tool] = {"files": len(names), "stored_chunks_equal":
                                len(names) == pages and stored_chunks_equal(source, os.path.join(out, names[0]))}
                continue
            if tool == "cp":
                checks[tool] = {"same_bytes": files_equal(source, os.path.join(out, os.path.basename(source)))}
                continue
            if tool == "split":
                checks[tool] = {"files": len(os.listdir(out)),
                                "same_bytes": concatenation_equals(source, out)}
                continue
            names = sorted(os.listdir(out))
            kept = equal = predictor_changed = 0
            max_difference = 0
            for index, name in enumerate(names[:pages]):
                digest = page_digests(os.path.join(out, name))
                if not digest:
                    continue
                page = digest[0]
                want = reference[index]
                kept += page["compression"] == want["compression"]
                predictor_changed += page["predictor"] != want["predictor"]
                if page["pixels"] == want["pixels"]:
                    equal += 1
                elif workload == "jpeg40":
                    max_difference = max(max_difference, pixel_difference(source, index, os.path.join(out, name)))
            checks[tool] = {"files": len(names), "kept_compression": kept, "decode_equal": equal,
                            "predictor_changed": predictor_changed,
                            "example": page_digests(os.path.join(out, names[0]))[0] if names else None,
                            "max_difference": max_difference}
        checks["input"] = reference[0]
        return checks


def count_pages(path):
    with Image.open(path) as image:
        return image.n_frames


def largest_stored_chunk(path):
    """The largest strip or tile byte count stored in the file (as written, before libtiff's reader
    chops a large uncompressed strip)."""
    largest = 0
    with Image.open(path) as image:
        for index in range(image.n_frames):
            image.seek(index)
            for tag in (279, 325):
                counts = image.tag_v2.get(tag)
                if counts is not None:
                    counts = counts if isinstance(counts, tuple) else (counts,)
                    largest = max(largest, max(counts))
    return largest


def stored_chunks(path):
    """(offset, count) of every strip or tile of the first page, as stored."""
    with Image.open(path) as image:
        offsets = image.tag_v2.get(273) or image.tag_v2.get(324)
        counts = image.tag_v2.get(279) or image.tag_v2.get(325)
    offsets = offsets if isinstance(offsets, tuple) else (offsets,)
    counts = counts if isinstance(counts, tuple) else (counts,)
    return list(zip(offsets, counts))


def stored_chunks_equal(a, b):
    """Whether the first pages of two files hold the same strips or tiles, byte for byte, read
    in pieces so that a 2 GiB strip needs no 2 GiB buffer."""
    chunks_a, chunks_b = stored_chunks(a), stored_chunks(b)
    if [c for _, c in chunks_a] != [c for _, c in chunks_b]:
        return False
    with open(a, "rb") as file_a, open(b, "rb") as file_b:
        for (offset_a, count), (offset_b, _) in zip(chunks_a, chunks_b):
            file_a.seek(offset_a)
            file_b.seek(offset_b)
            while count > 0:
                piece = min(count, 1 << 24)
                if file_a.read(piece) != file_b.read(piece):
                    return False
                count -= piece
    return True


def page_digests(path):
    """Per page: compression, predictor, and a digest of the decoded pixels."""
    digests = []
    try:
        with Image.open(path) as image:
            for index in range(image.n_frames):
                image.seek(index)
                pixels = hashlib.sha256()
                pixels.update(("%s %s " % (image.mode, image.size)).encode())
                pixels.update(image.tobytes())
                digests.append({"compression": COMPRESSION_NAMES.get(image.tag_v2.get(259, 1), str(image.tag_v2.get(259))),
                                "predictor": image.tag_v2.get(317, 1),
                                "pixels": pixels.hexdigest(),
                                "bytes": os.path.getsize(path)})
    except OSError:
        pass
    return digests


def pixel_difference(source, index, path):
    with Image.open(source) as a, Image.open(path) as b:
        a.seek(index)
        a_bytes, b_bytes = a.convert("RGB").tobytes(), b.convert("RGB").tobytes()
    if len(a_bytes) != len(b_bytes):
        return 255
    return max(abs(x - y) for x, y in zip(a_bytes[::97], b_bytes[::97]))


def files_equal(a, b):
    return subprocess.call(["cmp", "-s", a, b]) == 0


def concatenation_equals(source, directory):
    names = sorted(os.listdir(directory))
    digest = hashlib.sha256()
    for name in names:
        with open(os.path.join(directory, name), "rb") as part:
            digest.update(part.read())
    with open(source, "rb") as whole:
        expected = hashlib.file_digest(whole, "sha256") if hasattr(hashlib, "file_digest") else None
    if expected is None:
        expected = hashlib.sha256()
        with open(source, "rb") as whole:
            while True:
                block = whole.read(1 << 24)
                if not block:
                    break
                expected.update(block)
    return digest.hexdigest() == expected.hexdigest()


def machine_description():
    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as info:
        memory = int(info.readline().split()[1]) // 1024 // 1024
    filesystem = subprocess.run(["df", "-T", "."], capture_output=True, text=True).stdout.splitlines()[-1].split()[1]
    versions = {}
    for package in ("libtiff6", "python3-pil", "imagemagick-6.q16", "coreutils"):
        versions[package] = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                                           capture_output=True, text=True).stdout
    return {"cpu": cpu, "cores": os.cpu_count(), "memory_gib": memory, "kernel": platform.release(),
            "filesystem": filesystem, "versions": versions,
            "load_before": os.getloadavg(), "date": time.strftime("%Y-%m-%d %H:%M %Z")}


TOOL_NAMES = {"pillow": "Pillow", "folicant-plain": "folicant, without metadata",
              "cp-plain": "cp, without metadata", "before": "folicant, build before",
              "folicant-r": "folicant /r", "before-r": "folicant /r, build before"}


def format_table(results):
    lines = []
    lines.append("| workload | tool | median s | runs | x cp | x split | peer / folicant | peak MiB | pages | kept compression | decode equal |")
    lines.append("|---|---|---:|---:|---:|---:|---:|---:|---:|---|---|")
    for workload, result in results["workloads"].items():
        tools = result["tools"]
        mine = tools["folicant"]["median_s"]
        for tool, timing in tools.items():
            median = timing["median_s"]
            check = result["checks"].get(tool, {})
            name = TOOL_NAMES.get(tool, tool)
            if tool == "magick":
                name = "convert (%s)" % result["magick_mode"]
            plain = tool.endswith("-plain")
            base_cp = tools.get("cp-plain" if plain else "cp")
            x_cp = "%.2f" % (median / base_cp["median_s"]) if base_cp else "-"
            x_split = "%.2f" % (median / tools["split"]["median_s"]) if "split" in tools and not plain else "-"
            versus = "%.1f" % (median / mine) if tool in PEERS else "-"
            if plain:
                pages, kept, equal = "-", "-", "-"
            elif tool in ("cp", "split"):
                pages = "-" if tool == "cp" else str(check.get("files"))
                kept = "bytes equal" if check.get("same_bytes") else "BYTES DIFFER"
                equal = "-"
            elif "stored_chunks_equal" in check:
                pages = str(check.get("files"))
                kept = "stored strip equal" if check["stored_chunks_equal"] else "STRIPS DIFFER"
                equal = "- (not decoded)"
            else:
                pages = str(check.get("files"))
                kept = "%d/%d" % (check.get("kept_compression", 0), result["pages"])
                if check.get("predictor_changed"):
                    kept += " (predictor changed on %d)" % check["predictor_changed"]
                equal = "%d/%d" % (check.get("decode_equal", 0), result["pages"])
                if check.get("max_difference"):
                    equal += " (max diff %d)" % check["max_difference"]
            status = "" if timing["statuses"] == [0] else " (exit %s)" % ",".join(map(str, timing["statuses"]))
            lines.append("| %s | %s%s | %.3f | %d | %s | %s | %s | %.1f | %s | %s | %s |"
                         % (workload, name, status, median, timing["runs"], x_cp, x_split, versus,
                            timing["peak_kib"] / 1024.0, pages, kept, equal))
    return "\n".join(lines)


PEAK_TARGET_MIB = 8
STRETCH_CP = {"raw8", "scan50"}


def format_targets(results):
    lines = ["| workload | folicant / split (<= 1.2; raw8 <= 1.0) | folicant / cp (stretch: <= 1.5 on raw8, scan50) | folicant peak MiB (<= %d) | fastest peer / folicant |" % PEAK_TARGET_MIB,
             "|---|---|---|---|---|"]

    def mark(ok):
        return "met" if ok else "**not met**"
    for workload, result in results["workloads"].items():
        tools = result["tools"]
        mine = tools["folicant"]["median_s"]
        peak = max(timing["peak_kib"] for tool, timing in tools.items()
                   if tool.startswith("folicant")) / 1024.0
        split_limit = 1.0 if workload == "raw8" else 1.2
        split_cell = "-"
        if "split" in tools:
            split_ratio = mine / tools["split"]["median_s"]
            split_cell = "%.2f %s" % (split_ratio, mark(split_ratio <= split_limit))
        cp_cell = "-"
        if "cp" in tools:
            cp_ratio = mine / tools["cp"]["median_s"]
            cp_cell = ("%.2f %s" % (cp_ratio, mark(cp_ratio <= 1.5))) if workload in STRETCH_CP else "%.2f" % cp_ratio
        peers = [tools[p]["median_s"] for p in PEERS if p in tools]
        peer_cell = "%.1fx" % (min(peers) / mine) if peers else "-"
        lines.append("| %s | %s | %s | %.1f %s | %s |"
                     % (workload, split_cell, cp_cell, peak, mark(peak <= PEAK_TARGET_MIB), peer_cell))
    if any("before" in result["tools"] for result in results["workloads"].values()):
        lines.append("\n| workload | this build / build before | with /r | this build, peak MiB |")
        lines.append("|---|---:|---:|---:|")
        for workload, result in results["workloads"].items():
            tools = result["tools"]
            if "before" not in tools:
                continue
            ratio = tools["folicant"]["median_s"] / tools["before"]["median_s"]
            with_r = "-"
            if "folicant-r" in tools and "before-r" in tools:
                with_r = "%.2f" % (tools["folicant-r"]["median_s"] / tools["before-r"]["median_s"])
            peak = max(tools[t]["peak_kib"] for t in ("folicant", "folicant-r") if t in tools) / 1024.0
            lines.append("| %s | %.2f | %s | %.1f |" % (workload, ratio, with_r, peak))
    for workload, plain in PAIRED.items():
        tools = results["workloads"].get(workload, {}).get("tools", {})
        if "folicant" in tools and "folicant-plain" in tools:
            cost = tools["folicant"]["median_s"] / tools["folicant-plain"]["median_s"] - 1
            line = ("\n%s against %s, same rounds: folicant %.3f s against %.3f s, carrying every tag "
                    "costs %+.1f%% (target <= 20%%) %s"
                    % (workload, plain, tools["folicant"]["median_s"], tools["folicant-plain"]["median_s"],
                       100 * cost, mark(cost <= 0.20)))
            if "cp" in tools and "cp-plain" in tools:
                line += "; cp of the two files: %+.1f%% (the metadata's bytes)" % (
                    100 * (tools["cp"]["median_s"] / tools["cp-plain"]["median_s"] - 1))
            lines.append(line)
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folicant", required=True)
    parser.add_argument("--folicant-before", help="another build, timed in the same rounds")
    parser.add_argument("--remove", action="store_true",
                        help="also time folicant with /r, on a fresh hard link of the input")
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--peer-rounds", type=int, default=3)
    parser.add_argument("--peer-patience", type=float, default=60.0)
    parser.add_argument("--tools", default=",".join(TOOLS))
    parser.add_argument("--results", required=True)
    parser.add_argument("workloads", nargs="*")
    args = parser.parse_args()
    args.tools = args.tools.split(",")
    workloads = args.workloads or WORKLOADS
    os.makedirs(args.work, exist_ok=True)
    bench = Bench(args)
    results = {"machine": machine_description(), "rounds": args.rounds, "peer_rounds": args.peer_rounds,
               "workloads": {}}
    for workload in workloads:
        print("%s:" % workload, flush=True)
        results["workloads"][workload] = bench.time_workload(workload)
    results["machine"]["load_after"] = os.getloadavg()
    with open(args.results + ".json", "w") as out:
        json.dump(results, out, indent=1)
    table = format_table(results) + "\n\n" + format_targets(results) + "\n"
    with open(args.results + ".md", "w") as out:
        out.write(table)
    print()
    print(table)


if __name__ == "__main__":
    sys.exit(main())
