#!/usr/bin/python3
"""Regenerates the summary table of bench/RESULTS.md from logs of bench/run-all.sh.

Usage: summary.py LOG [LATER_LOG ...] RESULTS.md. A row of a later log (a run of some pairs
only) replaces the same row of the earlier ones; every row names the run it comes from.

The table sits between the generated-table markers; everything outside them is left as it
is. Each row is one pair of tasks (ours, the peer's) on one input with the same arguments:
the best time of each side over the rounds, their ratio, the range of the ratios of the
individual rounds (ours and the peer's run back to back), and the quality figures each side
printed, so that a faster but worse answer shows.
"""
import re
import sys

BEGIN = "<!-- generated:begin -->"
END = "<!-- generated:end -->"

# Figures that describe the answer, in the order they are shown.
QUALITY_KEYS = ["tris_out", "dist_mean", "dist_max", "max|dev|", "mean|dev|", "pairs", "groups",
                "nodes", "values", "mean-aspect-ratio", "mean-min-angle", "facets", "volume",
                "MB/s"]


def parse_fields(text):
    # A task that also reports reference runs prints them after " | ": the first part is its own.
    fields = {}
    for match in re.finditer(r'(\S+?)=("[^"]*"|\S+)', text.split(" | ", 1)[0]):
        fields[match.group(1)] = match.group(2).strip('"')
    return fields


def parse(log_path):
    header, rows, order = {}, {}, []
    marker = None
    with open(log_path, encoding="utf-8") as log:
        for line in log:
            line = line.rstrip("\n")
            if line.startswith("# pair="):
                fields = parse_fields(line[2:])
                args = line.split(" args=", 1)[1] if " args=" in line else ""
                ours, peers = fields["pair"].split(":")
                keys = [(ours, peer, args) for peer in peers.split(",") if peer]
                for key in keys:
                    if key not in rows:
                        rows[key] = {"ours": [], "peer": [], "rounds": {}}
                        order.append(key)
                marker = (keys, fields.get("round", "1"))
            elif line.startswith("# "):
                header.update(parse_fields(line[2:]))
            elif line.startswith("task=") and marker is not None:
                fields = parse_fields(line)
                if "seconds" not in fields:
                    continue
                keys, round_ = marker
                ours, args = keys[0][0], keys[0][2]
                task = fields["task"]
                if task == ours:
                    for key in keys:
                        add(rows, order, key, "ours", round_, fields)
                else:
                    # A peer of the pair, or a variant a peer task printed beside its own line
                    # (it gets a row of its own, against the same runs of ours).
                    key = (ours, task, args)
                    if key not in rows:
                        add(rows, order, key, None, round_, fields)
                        rows[key]["ours"] = rows[keys[0]]["ours"]
                        for r, times in rows[keys[0]]["rounds"].items():
                            if "ours" in times:
                                rows[key]["rounds"].setdefault(r, {})["ours"] = times["ours"]
                    elif key not in keys:
                        ours_time = rows[keys[0]]["rounds"].get(round_, {}).get("ours")
                        if ours_time is not None:
                            rows[key]["rounds"].setdefault(round_, {})["ours"] = ours_time
                    add(rows, order, key, "peer", round_, fields)
    return header, rows, order


def add(rows, order, key, side, round_, fields):
    if key not in rows:
        rows[key] = {"ours": [], "peer": [], "rounds": {}}
        order.append(key)
    if side is not None:
        rows[key][side].append(fields)
        rows[key]["rounds"].setdefault(round_, {})[side] = float(fields["seconds"])


def figures(runs):
    if not runs:
        return ""
    fields = runs[-1]
    shown = [f"{k}={fields[k]}" for k in QUALITY_KEYS if k in fields]
    return " ".join(shown).replace("|", "\\|")  # a bare bar would end the table cell


def describe(header):
    return (f"of {header.get('date', '?')} on {header.get('machine', '?')} "
            f"({header.get('cpus', '?')} CPUs, {header.get('cpu', '?')}); load average "
            f"{header.get('load-start', '?')} at the start, {header.get('load-end', '?')} at the "
            f"end; {header.get('rounds', '2')} process(es) per side")


def table(runs):
    """`runs`: (header, rows, order) per log, earliest first."""
    merged, order = {}, []
    for number, (_, rows, run_order) in enumerate(runs, start=1):
        for key in run_order:
            if key not in merged:
                order.append(key)
            merged[key] = (number, rows[key])
    used = sorted({number for number, _ in merged.values()})
    if len(runs) == 1:
        intro = [f"Run {describe(runs[0][0])}."]
    else:
        intro = [f"Run {n} {describe(runs[n - 1][0])}." for n in used]
    lines = [BEGIN,
             "## Summary (generated by `make bench`)",
             "",
             " ".join(intro) + " Best of 3 runs per process, ours and the peer's alternated; "
             "ratio = ours / peer's best (below 1: ours faster), with the range of "
             "the per-round ratios.",
             "",
             "| Ours | Peer | Input and arguments | Ours (s) | Peer (s) | Ratio | Round ratios "
             "| Ours: answer | Peer: answer |" + (" Run |" if len(runs) > 1 else ""),
             "|---|---|---|---|---|---|---|---|---|" + ("---|" if len(runs) > 1 else "")]
    for key in order:
        number, row = merged[key]
        if not row["ours"] or not row["peer"]:
            continue
        ours = min(float(r["seconds"]) for r in row["ours"])
        peer = min(float(r["seconds"]) for r in row["peer"])
        rounds = [r["ours"] / r["peer"] for r in row["rounds"].values()
                  if "ours" in r and "peer" in r and r["peer"] > 0]
        spread = (f"{min(rounds):.2f} – {max(rounds):.2f}" if len(rounds) > 1
                  else (f"{rounds[0]:.2f}" if rounds else "—"))
        ratio = f"{ours / peer:.2f}" if peer > 0 else "—"
        # Tasks that also print their processor time (all threads) get that ratio beside.
        if all("cpu-seconds" in r for r in row["ours"] + row["peer"]):
            ours_cpu = min(float(r["cpu-seconds"]) for r in row["ours"])
            peer_cpu = min(float(r["cpu-seconds"]) for r in row["peer"])
            if peer_cpu > 0:
                ratio += f" (processor time {ours_cpu:.2f} / {peer_cpu:.2f} s: {ours_cpu / peer_cpu:.2f})"
        lines.append(f"| `{key[0]}` | `{key[1]}` | {key[2]} | {ours:.3f} | {peer:.3f} | {ratio} "
                     f"| {spread} | {figures(row['ours'])} | {figures(row['peer'])} |"
                     + (f" {number} |" if len(runs) > 1 else ""))
    lines.append(END)
    return "\n".join(lines)


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: summary.py LOG [LATER_LOG ...] RESULTS.md")
    log_paths, results_path = sys.argv[1:-1], sys.argv[-1]
    generated = table([parse(path) for path in log_paths])
    with open(results_path, encoding="utf-8") as results:
        text = results.read()
    if BEGIN in text and END in text:
        head, rest = text.split(BEGIN, 1)
        tail = rest.split(END, 1)[1]
        text = head + generated + tail
    else:
        # First run: the table goes after the opening paragraphs, before the first section.
        first = text.find("\n## ")
        first = len(text) if first < 0 else first + 1
        text = text[:first] + generated + "\n\n" + text[first:]
    with open(results_path + ".tmp", "w", encoding="utf-8") as out:
        out.write(text)
    import os
    os.replace(results_path + ".tmp", results_path)


if __name__ == "__main__":
    main()
