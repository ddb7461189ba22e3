#!/usr/bin/env python3
"""Checks the example engine's move generator against the perft table of
docs/rules.md, to depth 3 (the deeper counts take Python too long for CI)."""
import importlib.util
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
spec = importlib.util.spec_from_file_location("minimal_engine", root / "examples" / "minimal_engine.py")
engine = importlib.util.module_from_spec(spec)
spec.loader.exec_module(engine)

rows = 0
failed = 0
for line in (root / "docs" / "rules.md").read_text().splitlines():
    match = re.match(r"\| `([012]{36})`[^|]*\| ([12]) \|(.*)", line)
    if not match:
        continue
    board = [int(d) for d in match.group(1)]
    side = int(match.group(2))
    counts = [cell.strip() for cell in match.group(3).split("|")]
    for depth in (1, 2, 3):
        got = engine.perft(board, side, depth)
        if str(got) != counts[depth - 1]:
            print(f"{match.group(1)} {side} depth {depth}: example {got}, table {counts[depth - 1]}")
            failed += 1
    rows += 1
print(f"{rows} positions, {failed} differences")
sys.exit(1 if failed or rows < 5 else 0)
