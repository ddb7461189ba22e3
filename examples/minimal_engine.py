#!/usr/bin/env python3
"""A minimal engine for Tovrane's game, written from docs/rules.md.

It speaks the referee protocol on standard input and output, knows every
rule, and plays a capture whenever it has one; otherwise the step that
leaves the opponent the fewest captures (ties at random). Run as
  minimal_engine.py                       the engine (for tovrane match)
  minimal_engine.py perft BOARD SIDE N    counts move sequences, to check it
"""
import os
import random
import sys

EMPTY, WHITE, BLACK = 0, 1, 2

# Each circuit once round, as (row, column) squares: two rows and two
# columns, each end joined to the next line's by a loop round a corner.
SMALL = ([(1, c) for c in range(6)] + [(r, 4) for r in range(6)] +
         [(4, c) for c in range(5, -1, -1)] + [(r, 1) for r in range(5, -1, -1)])
LARGE = ([(2, c) for c in range(6)] + [(r, 3) for r in range(6)] +
         [(3, c) for c in range(5, -1, -1)] + [(r, 2) for r in range(5, -1, -1)])


def loop_between(a, b):
    """Two squares next to each other on a circuit are joined by a loop
    exactly when both the row and the column change."""
    return a[0] != b[0] and a[1] != b[1]


def initial_board():
    return [BLACK] * 12 + [EMPTY] * 12 + [WHITE] * 12


def at(board, square):
    return board[square[0] * 6 + square[1]]


def captures(board, side):
    """Every capture of side, each once: a piece travels round a circuit in
    either direction over empty squares (its own counting as empty), and
    takes the first piece it meets if that is an enemy and a loop was passed
    on the way."""
    found = set()
    for circuit in (SMALL, LARGE):
        for i, start in enumerate(circuit):
            if at(board, start) != side:
                continue
            for direction in (1, -1):
                here, looped = i, False
                for _ in range(len(circuit)):
                    there = (here + direction) % len(circuit)
                    looped = looped or loop_between(circuit[here], circuit[there])
                    here = there
                    square = circuit[here]
                    if square == start or at(board, square) == EMPTY:
                        continue
                    if looped and at(board, square) != side:
                        found.add((start, square))
                    break
    return found


def steps(board, side):
    """Every step of side: one square in any of eight directions, onto an
    empty square."""
    found = []
    for row in range(6):
        for col in range(6):
            if board[row * 6 + col] != side:
                continue
            for dr in (-1, 0, 1):
                for dc in (-1, 0, 1):
                    r, c = row + dr, col + dc
                    if (dr or dc) and 0 <= r < 6 and 0 <= c < 6 and board[r * 6 + c] == EMPTY:
                        found.append(((row, col), (r, c)))
    return found


def legal_moves(board, side):
    return sorted(captures(board, side)) + steps(board, side)


def play(board, move):
    (fr, fc), (tr, tc) = move
    after = board[:]
    after[tr * 6 + tc] = after[fr * 6 + fc]
    after[fr * 6 + fc] = EMPTY
    return after


def move_text(move):
    (fr, fc), (tr, tc) = move
    return f"{fr}{fc}{tr}{tc}"


def read_move(text):
    return (int(text[0]), int(text[1])), (int(text[2]), int(text[3]))


def perft(board, side, depth):
    if depth == 0:
        return 1
    moves = legal_moves(board, side)
    if depth == 1:
        return len(moves)
    return sum(perft(play(board, m), 3 - side, depth - 1) for m in moves)


def book_move(board, side):
    """A move the book folder startgame/ holds for this position and side:
    lines such as 'black 1 2 2 2' in startgame/<36 digits>.zjb."""
    name = os.path.join("startgame", "".join(map(str, board)) + ".zjb")
    colour = "black" if side == BLACK else "white"
    try:
        with open(name) as book:
            words = book.read().split()
    except OSError:
        return None
    legal = legal_moves(board, side)
    for k in range(0, len(words) - 4, 5):
        if words[k] == colour:
            move = read_move("".join(words[k + 1:k + 5]))
            if move in legal:
                return move
    return None


def choose(board, side, rng):
    """A capture when there is one; otherwise the step that leaves the
    opponent the fewest captures."""
    taking = sorted(captures(board, side))
    if taking:
        return rng.choice(taking)
    options = steps(board, side)
    if not options:
        return None
    danger = {m: len(captures(play(board, m), 3 - side)) for m in options}
    least = min(danger.values())
    return rng.choice([m for m in options if danger[m] == least])


def main():
    rng = random.Random(1)
    board, me = initial_board(), BLACK

    def reply():
        move = book_move(board, me) or choose(board, me, rng)
        if move is None:
            return board  # no legal move: the game is lost, say nothing
        print("move " + move_text(move), flush=True)
        return play(board, move)

    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == "name?":
            print("name Minimal(1.0)", flush=True)
        elif words[0] == "new":
            board = initial_board()
            me = WHITE if len(words) > 1 and words[1] == "white" else BLACK
            if me == BLACK:
                board = reply()
        elif words[0] == "move" and len(words) > 1:
            board = play(board, read_move(words[1]))
            board = reply()
        elif words[0] == "stop":
            break


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "perft":
        print(perft([int(d) for d in sys.argv[2]], int(sys.argv[3]), int(sys.argv[4])))
    else:
        main()
