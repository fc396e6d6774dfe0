"""Turns the output of scripts/bench.sh's runs into one table: benchmark, figure, unit.

Google Benchmark cases come as CSV after a "#benchmark NAME" line; the timing programs print
one sentence after a "#timing NAME" line, whose "label number unit" parts become rows.
"""
import csv
import re
import sys

FIGURE = re.compile(r"(-?[0-9]+(?:\.[0-9]+)?)\s*(us|ms|ns|s|%|MB)(?![\w])")


def rows(lines):
    kind, name, block = None, None, []

    def flush():
        if kind == "benchmark":
            text = [line for line in block if line.strip()]
            header = next((i for i, line in enumerate(text) if line.startswith("name,")), None)
            if header is None:
                yield (name, "no figures", "")
                return
            for record in csv.DictReader(text[header:]):
                if record.get("error_occurred") == "true":
                    yield (f"{name}/{record['name']}", "error", record.get("error_message", ""))
                    continue
                yield (f"{name}/{record['name']}", f"{float(record['real_time']):.3f}",
                       record["time_unit"])
        elif kind == "timing":
            text = " ".join(line.strip() for line in block)
            found = False
            # Each comma-separated part names one figure: the words before its number, or
            # after it when none stand before.
            for part in text.split(":", 1)[-1].split(","):
                match = FIGURE.search(part)
                if not match:
                    continue
                found = True
                label = part[:match.start()].strip() or part[match.end():].strip()
                yield (f"{name} {label}".strip(), match.group(1), match.group(2))
            if not found:
                yield (name, "no figures", text[:60])

    for line in lines:
        line = line.rstrip("\n")
        if line.startswith("#benchmark ") or line.startswith("#timing "):
            yield from flush()
            kind, name = line[1:].split(" ", 1)
            kind = "benchmark" if kind == "benchmark" else "timing"
            block = []
        else:
            block.append(line)
    yield from flush()


def main():
    table = list(rows(sys.stdin))
    width = max([len("benchmark")] + [len(row[0]) for row in table])
    print(f"{'benchmark':<{width}}  {'figure':>12}  unit")
    for name, figure, unit in table:
        print(f"{name:<{width}}  {figure:>12}  {unit}")


if __name__ == "__main__":
    main()
