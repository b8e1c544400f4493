"""Driver of the line-diff benchmark; see run.sh."""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

WORDS = ("SELECT INSERT UPDATE DELETE FROM WHERE JOIN LEFT INNER ON AND OR NOT NULL IS AS "
         "BEGIN END IF ELSE RETURN DECLARE SET EXEC CASE WHEN THEN GROUP BY ORDER HAVING "
         "dbo.Customer dbo.Invoice dbo.Line @Id @Name @Total CustomerId InvoiceId Amount "
         "Created Modified Status Name Code Value 0 1 42 'A' 'B' = <> < > ( ) , ;").split()
# Lines that recur in real code; they give the diff many equal lines to choose between.
COMMON = ["", "BEGIN", "END", "GO", "  RETURN 0;", "ELSE", "  END", ")"]


def random_line(rng):
    if rng.random() < 0.1:
        return rng.choice(COMMON)
    indent = "  " * rng.randrange(4)
    return indent + " ".join(rng.choice(WORDS) for _ in range(rng.randrange(2, 12)))


def write_lines(path, lines):
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines))
        out.write("\n")


def write_pair(folder, name, first, second):
    """Writes the two texts as name.a and name.b in folder; returns their paths."""
    a, b = os.path.join(folder, name + ".a"), os.path.join(folder, name + ".b")
    write_lines(a, first)
    write_lines(b, second)
    return a, b


def make_pair(folder, name, count, changed, rng):
    """A text of count lines and a copy where a fraction of lines is modified, inserted
    after or deleted (half, a quarter and a quarter)."""
    first = [random_line(rng) for _ in range(count)]
    second = []
    for line in first:
        if rng.random() >= changed:
            second.append(line)
            continue
        kind = rng.random()
        if kind < 0.5:
            second.append(random_line(rng))
        elif kind < 0.75:
            second.append(line)
            second.append(random_line(rng))
    return write_pair(folder, name, first, second)


def make_modified_pair(folder, name, count, modified, rng):
    """A text of count lines and a copy where a fraction of lines has one word replaced, so
    that the line diff pairs them as modified and the changed characters are marked."""
    first = [random_line(rng) for _ in range(count)]
    second = []
    for line in first:
        if rng.random() >= modified:
            second.append(line)
            continue
        words = line.split(" ")
        at = rng.randrange(len(words))
        words[at] = rng.choice([word for word in WORDS if word != words[at]])
        second.append(" ".join(words))
    return write_pair(folder, name, first, second)


def make_single_line_pair(folder, name, megabytes, rng):
    """Two one-line texts of about megabytes MB of words, one word in ten replaced."""
    words = []
    size = 0
    while size < megabytes * 1_000_000:
        words.append(rng.choice(WORDS))
        size += len(words[-1]) + 1
    changed = [rng.choice(WORDS) if rng.random() < 0.1 else word for word in words]
    return write_pair(folder, name, [" ".join(words)], [" ".join(changed)])


def run_grid(bench_grid, pair):
    """bench_diffgrid's figures: fill ms, rows, paint ms, fill ms without marks."""
    out = subprocess.run([bench_grid, *pair], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                         check=True).stdout.split()
    return float(out[0]), int(out[1]), float(out[2]), float(out[3])


def grid_cases(bench_grid, folder, rng):
    """Times the diff grid; returns the targets it missed."""
    failures = []
    grid_ms, rows, paint_ms, _ = run_grid(bench_grid, make_pair(folder, "grid", 20_000, 0.01, rng))
    print(f"diff grid, 20,000 lines, 1 % changed: SetLeft + SetRight + Compare {grid_ms:.1f} ms "
          f"({rows} rows; {'under' if grid_ms < 100 else 'NOT under'} 100 ms), "
          f"painting the visible rows {paint_ms:.1f} ms")
    if grid_ms >= 100:
        failures.append("grid 1 %: not under 100 ms")
    marked_ms, rows, paint_ms, unmarked_ms = run_grid(
        bench_grid, make_modified_pair(folder, "marks", 20_000, 0.1, rng))
    ratio = marked_ms / unmarked_ms
    print(f"diff grid, 20,000 lines, 10 % modified: fill with marks {marked_ms:.1f} ms, without "
          f"{unmarked_ms:.1f} ms ({ratio:.2f} x; targets at most 2 x and under 60 ms), painting {paint_ms:.1f} ms")
    if ratio > 2 or marked_ms >= 60:
        failures.append("grid 10 % modified: marks cost more than their targets")
    line_ms, _, paint_ms, _ = run_grid(bench_grid, make_single_line_pair(folder, "single", 10, rng))
    print(f"diff grid, one 10 MB line on each side: fill with marks {line_ms:.1f} ms "
          f"({'under' if line_ms < 1000 else 'NOT under'} 1 s), painting {paint_ms:.1f} ms")
    if line_ms >= 1000:
        failures.append("grid 10 MB line: not under 1 s")
    return failures


def best_wall(command, runs, output_file):
    """The best wall time of at least runs runs of a command, and what its last run wrote.
    A quick command runs more often, up to about a second in all, as the shortest runs of a
    few milliseconds scatter most on a busy machine."""
    best, spent, done_runs = None, 0.0, 0
    while done_runs < runs or (spent < 1.0 and done_runs < 50):
        done_runs += 1
        with open(output_file, "wb") as out:
            start = time.perf_counter()
            done = subprocess.run(command, stdout=out, stderr=subprocess.PIPE)
            elapsed = time.perf_counter() - start
        if done.returncode not in (0, 1):
            sys.exit(f"{command[0]} failed: {done.stderr.decode(errors='replace')}")
        best = elapsed if best is None else min(best, elapsed)
        spent += elapsed
    with open(output_file, "rb") as written:
        return best, written.read()


def peak_megabytes(command, folder):
    """Peak resident memory of one run, taken by GNU time: a child forked from this Python
    process would count the interpreter's own pages until it starts the program."""
    report = os.path.join(folder, "peak")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report, *command], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    with open(report) as kilobytes:
        return int(kilobytes.read().split()[-1]) / 1024


def diff_edits(output):
    """Lines removed plus lines added in a diff's normal output."""
    return sum(1 for line in output.splitlines() if line[:1] in (b"<", b">"))


def main():
    build = sys.argv[1]
    grid_only = len(sys.argv) > 2 and sys.argv[2] == "grid"
    runs = max(int(sys.argv[2]) if len(sys.argv) > 2 and not grid_only else 3, 3)
    bench_diff = os.path.join(build, "bench", "diff", "bench_diff")
    bench_grid = os.path.join(build, "bench", "diff", "bench_diffgrid")
    for program in (bench_diff, bench_grid):
        if not os.access(program, os.X_OK):
            sys.exit(f"{program} is missing: build the bench_diff and bench_diffgrid targets first")
    rng = random.Random(20240611)
    folder = tempfile.mkdtemp(prefix="quillon-bench-")
    if grid_only:
        try:
            failures = grid_cases(bench_grid, folder, rng)
        finally:
            shutil.rmtree(folder)
        print("targets: " + ("all met" if not failures else "missed: " + ", ".join(failures)))
        return
    try:
        pairs = []
        for count in (10_000, 100_000, 1_000_000):
            for changed in (0.001, 0.01, 0.1):
                name = f"{count // 1000}k-{changed * 100:g}%"
                pairs.append((name, count, changed) + make_pair(folder, name, count, changed, rng))
        unrelated = (os.path.join(folder, "unrelated.a"), os.path.join(folder, "unrelated.b"))
        write_lines(unrelated[0], [random_line(rng) for _ in range(10_000)])
        write_lines(unrelated[1], [random_line(rng) for _ in range(10_000)])
        pairs.append(("10k-unrelated", 10_000, 1.0) + unrelated)
        output = os.path.join(folder, "output")

        # Each program's start-up, timed on two empty files, is also taken off its times: the
        # diff grid runs inside a program that is already up.
        empty = (os.path.join(folder, "empty.a"), os.path.join(folder, "empty.b"))
        write_lines(empty[0], [])
        write_lines(empty[1], [])
        our_start = best_wall([bench_diff, *empty], 10, output)[0]
        diff_start = best_wall(["diff", *empty], 10, output)[0]
        print(f"start-up on empty files: ours {our_start * 1000:.1f} ms, diff {diff_start * 1000:.1f} ms")
        print(f"best of at least {runs} wall times; ratio = ours / theirs; net = with each start-up taken off; "
              "memory = peak resident MB of one more run")
        print(f"{'pair':<15}{'ours ms':>10}{'diff ms':>10}{'minimal ms':>12}{'/diff':>7}{'net':>6}"
              f"{'/minimal':>9}{'our MB':>8}{'diff MB':>8}{'our edits':>10}{'minimal':>9}{'diff':>8}  check",
              flush=True)
        failures = []
        for name, count, changed, a, b in pairs:
            ours, our_output = best_wall([bench_diff, a, b], runs, output)
            our_edits = int(our_output.split()[1])
            plain, plain_output = best_wall(["diff", a, b], runs, output)
            minimal, minimal_output = best_wall(["diff", "--minimal", a, b], runs, output)
            minimal_edits = diff_edits(minimal_output)
            our_mb = peak_megabytes([bench_diff, a, b], folder)
            diff_mb = peak_megabytes(["diff", a, b], folder)
            ratio = ours / plain
            net = max(ours - our_start, 1e-6) / max(plain - diff_start, 1e-6)
            to_minimal = ours / minimal
            misses = []
            if our_edits != minimal_edits:
                misses.append("edits differ from diff --minimal's")
            if to_minimal > 1.0:
                misses.append("slower than diff --minimal")
            if ratio > (1.0 if changed <= 0.01 else 1.5):
                misses.append(f"slower than {'' if changed <= 0.01 else '1.5 x '}diff")
            if count >= 1_000_000 and our_mb >= diff_mb:
                misses.append("more memory than diff")
            print(f"{name:<15}{ours * 1000:>10.1f}{plain * 1000:>10.1f}{minimal * 1000:>12.1f}{ratio:>7.2f}"
                  f"{net:>6.2f}{to_minimal:>9.3f}{our_mb:>8.1f}{diff_mb:>8.1f}{our_edits:>10}{minimal_edits:>9}"
                  f"{diff_edits(plain_output):>8}  {'; '.join(misses) or 'ok'}", flush=True)
            failures += [f"{name}: {miss}" for miss in misses]

        failures += grid_cases(bench_grid, folder, rng)
    finally:
        shutil.rmtree(folder)
    print("targets: " + ("all met" if not failures else "missed: " + ", ".join(failures)))
    if any("edits" in failure for failure in failures):
        sys.exit("our edit count differs from diff --minimal's")


if __name__ == "__main__":
    main()
