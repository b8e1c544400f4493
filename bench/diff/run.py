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
    a, b = os.path.join(folder, name + ".a"), os.path.join(folder, name + ".b")
    write_lines(a, first)
    write_lines(b, second)
    return a, b


def best_wall(command, runs=3, stdout=subprocess.DEVNULL):
    """The shortest wall time of up to runs runs (one when a run takes over five seconds),
    and the output of that run."""
    best, output = None, None
    for _ in range(runs):
        start = time.perf_counter()
        done = subprocess.run(command, stdout=stdout, stderr=subprocess.PIPE, text=True)
        elapsed = time.perf_counter() - start
        if done.returncode not in (0, 1):
            sys.exit(f"{command[0]} failed: {done.stderr}")
        if best is None or elapsed < best:
            best, output = elapsed, done.stdout
        if elapsed > 5:
            break
    return best, output


def diff_edits(a, b):
    """Lines removed plus lines added by diff --minimal."""
    process = subprocess.Popen(["diff", "--minimal", a, b], stdout=subprocess.PIPE)
    edits = sum(1 for line in process.stdout if line[:1] in (b"<", b">"))
    process.wait()
    return edits


def main():
    build = sys.argv[1]
    bench_diff = os.path.join(build, "bench", "diff", "bench_diff")
    bench_grid = os.path.join(build, "bench", "diff", "bench_diffgrid")
    for program in (bench_diff, bench_grid):
        if not os.access(program, os.X_OK):
            sys.exit(f"{program} is missing: build the bench_diff and bench_diffgrid targets first")
    rng = random.Random(20240611)
    all_ok = True
    folder = tempfile.mkdtemp(prefix="quillon-bench-")
    try:
        pairs = []
        for count in (10_000, 100_000, 1_000_000):
            for changed in (0.001, 0.01, 0.1):
                name = f"{count // 1000}k-{changed * 100:g}%"
                pairs.append((name, changed) + make_pair(folder, name, count, changed, rng))
        unrelated = (os.path.join(folder, "unrelated.a"), os.path.join(folder, "unrelated.b"))
        write_lines(unrelated[0], [random_line(rng) for _ in range(10_000)])
        write_lines(unrelated[1], [random_line(rng) for _ in range(10_000)])
        pairs.append(("10k-unrelated", 1.0) + unrelated)

        # Each program's start-up, timed on two empty files, is also taken off its times: the
        # diff grid runs inside a program that is already up.
        empty = (os.path.join(folder, "empty.a"), os.path.join(folder, "empty.b"))
        write_lines(empty[0], [])
        write_lines(empty[1], [])
        our_start = best_wall([bench_diff, *empty], 10)[0]
        diff_start = best_wall(["diff", *empty], 10)[0]
        print(f"start-up on empty files: ours {our_start * 1000:.1f} ms, diff {diff_start * 1000:.1f} ms")
        print(f"{'pair':<16}{'ours ms':>10}{'diff ms':>10}{'ratio':>8}{'net ratio':>11}"
              f"{'our edits':>11}{'minimal':>10}  check")
        worst, slower, net_slower, all_ok = None, [], [], True
        for name, changed, a, b in pairs:
            ours, output = best_wall([bench_diff, a, b], stdout=subprocess.PIPE)
            our_edits = int(output.split()[1])
            theirs, _ = best_wall(["diff", a, b])
            minimal = diff_edits(a, b)
            ratio = ours / theirs
            net = max(ours - our_start, 1e-6) / max(theirs - diff_start, 1e-6)
            ok = our_edits <= minimal
            print(f"{name:<16}{ours * 1000:>10.1f}{theirs * 1000:>10.1f}{ratio:>8.2f}{net:>11.2f}"
                  f"{our_edits:>11}{minimal:>10}  {'ok' if ok else 'MORE EDITS THAN diff --minimal'}",
                  flush=True)
            all_ok = all_ok and ok
            if worst is None or ratio > worst[1]:
                worst = (name, ratio)
            if changed <= 0.01 and ratio > 1.0:
                slower.append(name)
            if changed <= 0.01 and net > 1.0:
                net_slower.append(name)
        print(f"worst ratio: {worst[1]:.2f} ({worst[0]})")
        print("up to 1 % changed, slower than diff: "
              f"whole run {', '.join(slower) or 'none'}; net of start-up {', '.join(net_slower) or 'none'}")

        grid_pair = make_pair(folder, "grid", 20_000, 0.01, rng)
        output = subprocess.run([bench_grid, *grid_pair], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True, check=True).stdout.split()
        grid_ms, rows, paint_ms = float(output[0]), int(output[1]), float(output[2])
        print(f"diff grid, 20,000 lines, 1 % changed: SetLeft + SetRight + Compare {grid_ms:.1f} ms "
              f"({rows} rows; {'under' if grid_ms < 100 else 'NOT under'} 100 ms), "
              f"painting the visible rows {paint_ms:.1f} ms")
    finally:
        shutil.rmtree(folder)
    if not all_ok:
        sys.exit("our edit count exceeded diff --minimal's")


if __name__ == "__main__":
    main()
