#!/bin/bash
# Builds an opening book as one Slurm job. 'tovrane book build' has no
# shards (each ply's positions follow from the book moves two plies before);
# it searches the positions of a ply on --jobs threads, here one per CPU of
# the task. Submit it from the folder that holds build/ (or set TOVRANE):
#
#   sbatch docs/slurm/book-build.sh             # the default book into mybook/
#   build/release/tools/tovrane book check mybook
#
# An interrupted build (scancel, or preemption with --requeue) keeps every
# finished file; the same job submitted again searches only the rest and
# makes the same folder as an uninterrupted build.
# The settings below may also come from the environment (sbatch passes it on),
# e.g. BOOK=small PLIES=4 DEPTH=5 sbatch docs/slurm/book-build.sh.
#SBATCH --job-name=tovrane-book
#SBATCH --cpus-per-task=8
#SBATCH --requeue
#SBATCH --output=slurm-%x-%j.out
set -euo pipefail

book=${BOOK:-mybook}         # the engine's folder: the book goes to $book/startgame/
plies=${PLIES:-6}
player=${PLAYER:-engine-pro} # or engine-deep, engine, engine-classic
depth=${DEPTH:-7}
T=${TOVRANE:-build/release/tools/tovrane}

"$T" book build --out "$book" --plies "$plies" --player "$player" --depth "$depth" \
  --jobs "${SLURM_CPUS_PER_TASK:-1}"
"$T" book check "$book"
