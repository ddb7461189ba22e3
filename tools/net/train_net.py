#!/usr/bin/env python3
"""Trains engine-pro's network from self-play position files (tovrane selfplay).

  python3 tools/net/train_net.py --out NET.tvnn [options] FILE...

Every (board, side to move) is kept once. A tenth of the games (by game
number and file) is held out: the loss printed after every epoch is theirs.
The target blends the search's score and the game's result:
  lambda * sigmoid(score / scale) + (1 - lambda) * result
and the loss is the squared difference from sigmoid(net / scale). Each
training position is seen under a random one of the board's eight
symmetries (the rules do not change under them). The same seed gives the
same network. With --tovrane PATH, the written file is read back by the
engine (tovrane net-scores) on the held-out positions: its integer scores
are compared with the float network's, and the loss of engine-pro's
hand-made evaluation on the same positions is printed beside the net's.
"""

import argparse
import math
import os
import struct
import subprocess
import sys
import tempfile
import time

import numpy as np
import torch

INPUTS = 72
ACTIVATION_ONE = 127      # kNetActivationOne
OUTPUT_ONE = 64           # kNetOutputOne
OUTPUT_SCALE = 100.0      # the float network's output unit, in search units
INPUT_LIMIT = 8.0         # |first-layer weight|: 24 pieces never overflow an int16 sum
OUTPUT_LIMIT = 5.0        # |output weight| * OUTPUT_SCALE * OUTPUT_ONE stays an int16
PROVED = 999000           # scores beyond are proved wins or losses
PROVED_AS = 1500          # ... and count as this


def symmetric_cell(symmetry, cell):
    """game/board_symmetry.h's symmetricCell."""
    row, col = divmod(cell, 6)
    if symmetry & 4:
        row = 5 - row
    for _ in range(symmetry & 3):
        row, col = col, 5 - row
    return row * 6 + col


def flip_rows(cell):
    return (5 - cell // 6) * 6 + cell % 6


def gather_tables():
    """tables[s][p][d]: the cell of the original board that perspective p
    (0 black, 1 white) sees at input square d under symmetry s."""
    tables = np.zeros((8, 2, 36), dtype=np.int64)
    for s in range(8):
        inverse = [0] * 36
        for cell in range(36):
            inverse[symmetric_cell(s, cell)] = cell
        for d in range(36):
            tables[s][0][d] = inverse[d]
            tables[s][1][d] = inverse[flip_rows(d)]
    return torch.from_numpy(tables)


def read_positions(paths):
    boards, sides, scores, results, games = [], [], [], [], []
    for file_index, path in enumerate(paths):
        with open(path, "r") as f:
            for line in f:
                if not line or line[0] not in "012":
                    continue
                fields = line.split()
                if len(fields) < 6 or len(fields[0]) != 36:
                    continue
                boards.append(fields[0])
                sides.append(int(fields[1]))
                scores.append(int(fields[2]))
                results.append(float(fields[3]))
                games.append(int(fields[5]) * 7919 + file_index)
    if not boards:
        sys.exit("train_net: no positions in " + " ".join(paths))
    board = np.frombuffer("".join(boards).encode(), dtype=np.uint8).reshape(-1, 36) - ord("0")
    side = np.array(sides, dtype=np.uint8)
    score = np.array(scores, dtype=np.int64)
    result = np.array(results, dtype=np.float32)
    game = np.array(games, dtype=np.int64)
    # Each (board, side) once: the first time it occurs.
    weights = (1 << np.arange(36, dtype=np.uint64)).astype(np.uint64)
    black = ((board == 2).astype(np.uint64) * weights).sum(axis=1, dtype=np.uint64)
    white = ((board == 1).astype(np.uint64) * weights).sum(axis=1, dtype=np.uint64)
    keys = np.stack([black, white, side.astype(np.uint64)], axis=1)
    _, first = np.unique(keys, axis=0, return_index=True)
    first.sort()
    return board[first], side[first], score[first], result[first], game[first], len(boards)


class Net(torch.nn.Module):
    def __init__(self, hidden):
        super().__init__()
        self.input = torch.nn.Linear(INPUTS, hidden)
        self.output = torch.nn.Linear(2 * hidden, 1)

    def forward(self, us, them):
        a = torch.clamp(self.input(us), 0.0, 1.0)
        b = torch.clamp(self.input(them), 0.0, 1.0)
        return self.output(torch.cat([a, b], dim=1)).squeeze(1) * OUTPUT_SCALE

    def clip(self):
        with torch.no_grad():
            self.input.weight.clamp_(-INPUT_LIMIT, INPUT_LIMIT)
            self.input.bias.clamp_(-INPUT_LIMIT, INPUT_LIMIT)
            self.output.weight.clamp_(-OUTPUT_LIMIT, OUTPUT_LIMIT)


def features(board, side, symmetry, tables):
    """The inputs of the side to move and of the other side, each (n, 72)."""
    views = []
    for p in range(2):
        index = tables[symmetry, p]
        views.append(torch.gather(board, 1, index))
    black_view = torch.cat([views[0] == 2, views[0] == 1], dim=1).float()
    white_view = torch.cat([views[1] == 1, views[1] == 2], dim=1).float()
    black_to_move = (side == 2).unsqueeze(1)
    us = torch.where(black_to_move, black_view, white_view)
    them = torch.where(black_to_move, white_view, black_view)
    return us, them


def targets(score, result, blend, scale):
    s = torch.clamp(score, -PROVED_AS, PROVED_AS).float()
    return blend * torch.sigmoid(s / scale) + (1.0 - blend) * result


def loss_of(prediction, target, scale):
    return torch.mean((torch.sigmoid(prediction / scale) - target) ** 2)


def export(net, path):
    hidden = net.input.out_features
    w1 = torch.round(net.input.weight.detach().t() * ACTIVATION_ONE).to(torch.int64)  # (72, hidden)
    b1 = torch.round(net.input.bias.detach() * ACTIVATION_ONE).to(torch.int64)
    w2 = torch.round(net.output.weight.detach()[0] * OUTPUT_SCALE * OUTPUT_ONE).to(torch.int64)
    b2 = int(round(float(net.output.bias.detach()[0]) * OUTPUT_SCALE * OUTPUT_ONE * ACTIVATION_ONE))
    data = bytearray(b"TVNN")
    data += struct.pack("<III", 1, INPUTS, hidden)
    for values in (w1.flatten(), b1, w2):
        data += struct.pack("<%dh" % values.numel(), *values.tolist())
    data += struct.pack("<i", b2)
    with open(path, "wb") as f:
        f.write(bytes(data))


def engine_scores(tovrane, net_path, board, side):
    """The engine's integer network and hand-made scores of the positions."""
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        for b, s in zip(board.tolist(), side.tolist()):
            f.write("".join(str(v) for v in b) + " " + str(s) + "\n")
        name = f.name
    try:
        out = subprocess.run([tovrane, "net-scores", "--eval-file", net_path, name], check=True,
                             capture_output=True, text=True).stdout
    finally:
        os.unlink(name)
    pairs = np.array([[int(v) for v in line.split()] for line in out.splitlines()], dtype=np.int64)
    return pairs[:, 0], pairs[:, 1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("files", nargs="+", help="tovrane selfplay position files")
    parser.add_argument("--out", required=True, help="the network file to write")
    parser.add_argument("--hidden", type=int, default=32, help="hidden units per perspective: 16, 32, 48, 64")
    parser.add_argument("--epochs", type=int, default=12)
    parser.add_argument("--batch", type=int, default=4096)
    parser.add_argument("--lr", type=float, default=2e-3)
    parser.add_argument("--blend", type=float, default=0.7, help="weight of the search score in the target")
    parser.add_argument("--scale", type=float, default=80.0, help="search units of the win-chance curve")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--no-symmetry", action="store_true", help="train on the positions as they are")
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--tovrane", help="the tovrane program: check the written file on the held-out positions")
    args = parser.parse_args()
    if args.hidden not in (16, 32, 48, 64):
        sys.exit("train_net: --hidden must be 16, 32, 48 or 64")

    torch.manual_seed(args.seed)
    torch.set_num_threads(args.threads)
    generator = torch.Generator().manual_seed(args.seed)
    start = time.time()
    board, side, score, result, game, lines = read_positions(args.files)
    held = (game * 2654435761 % 1000003) % 10 == 0
    print("positions: %d lines, %d distinct, %d held out (a tenth of the games), read in %.0fs"
          % (lines, len(board), int(held.sum()), time.time() - start), flush=True)

    def tensors(mask):
        # Boards stay bytes (a few million positions fit in memory); gather reads them so.
        return (torch.from_numpy(board[mask].copy()), torch.from_numpy(side[mask].astype(np.int64)),
                torch.from_numpy(score[mask]), torch.from_numpy(result[mask]))

    train, test = tensors(~held), tensors(held)
    tables = gather_tables()
    net = Net(args.hidden)
    optimizer = torch.optim.Adam(net.parameters(), lr=args.lr)
    schedule = torch.optim.lr_scheduler.CosineAnnealingLR(optimizer, T_max=max(1, args.epochs))
    test_target = targets(test[2], test[3], args.blend, args.scale)
    identity = torch.zeros(len(test[0]), dtype=torch.int64)
    test_us, test_them = features(test[0], test[1], identity, tables)

    def held_loss():
        with torch.no_grad():
            return float(loss_of(net(test_us, test_them), test_target, args.scale))

    print("epoch 0: held-out loss %.6f" % held_loss(), flush=True)
    n = len(train[0])
    for epoch in range(1, args.epochs + 1):
        order = torch.randperm(n, generator=generator)
        total, batches = 0.0, 0
        for first in range(0, n, args.batch):
            index = order[first:first + args.batch]
            symmetry = (torch.randint(0, 8, (len(index),), generator=generator) if not args.no_symmetry
                        else torch.zeros(len(index), dtype=torch.int64))
            us, them = features(train[0][index], train[1][index], symmetry, tables)
            loss = loss_of(net(us, them), targets(train[2][index], train[3][index], args.blend, args.scale), args.scale)
            optimizer.zero_grad()
            loss.backward()
            optimizer.step()
            net.clip()
            total += float(loss)
            batches += 1
        schedule.step()
        print("epoch %d: train loss %.6f held-out loss %.6f (%.0fs)"
              % (epoch, total / max(1, batches), held_loss(), time.time() - start), flush=True)

    export(net, args.out)
    print("wrote %s (%d bytes)" % (args.out, os.path.getsize(args.out)), flush=True)
    if args.tovrane:
        with torch.no_grad():
            floats = net(test_us, test_them).numpy()
        ints, classic = engine_scores(args.tovrane, args.out, test[0].numpy(), test[1].numpy())
        difference = np.abs(ints - floats)
        print("quantisation: engine vs float network on %d held-out positions: largest difference %.2f, mean %.3f"
              % (len(ints), difference.max(), difference.mean()))
        for name, scores in (("network (engine)", ints), ("hand-made evaluation", classic)):
            loss = float(loss_of(torch.from_numpy(scores.astype(np.float64)), test_target.double(), args.scale))
            print("held-out loss of the %s: %.6f" % (name, loss))


if __name__ == "__main__":
    main()
