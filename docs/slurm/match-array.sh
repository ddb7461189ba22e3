#!/bin/bash
# A long match between two engine programs as a Slurm job array: array task K
# plays shard K of N of the match and writes its record to shards/K.txt.
# Submit it from the folder that holds build/ (or set TOVRANE and ENGINES):
#
#   sbatch docs/slurm/match-array.sh              # all 20 shards
#   build/release/tools/tovrane merge shards/*.txt  # the match so far, at any time
#   scancel 1234_7                                # stops shard 7 cleanly ...
#   sbatch --array=7 docs/slurm/match-array.sh    # ... and this resumes it
#
# A shard requeued after preemption (--requeue) or submitted again continues
# from its record (--resume): no game is lost or played twice.
# The settings below may also come from the environment (sbatch passes it on),
# e.g. SHARDS=3 OPENINGS=6 sbatch --array=1-3 docs/slurm/match-array.sh.
#SBATCH --job-name=tovrane-match
#SBATCH --array=1-20
#SBATCH --cpus-per-task=2
#SBATCH --requeue
#SBATCH --output=slurm-%x-%A_%a.out
set -euo pipefail

shards=${SHARDS:-20}      # N of every shard K/N: the last index of --array above
openings=${OPENINGS:-500} # each played with both colours
seed=${SEED:-7}
T=${TOVRANE:-build/release/tools/tovrane}
A=${ENGINES:-build/release/app}
records=${RECORDS:-shards}

mkdir -p "$records"
exec "$T" match --engine cmd="$A/engine" --engine cmd="$A/engine-classic" \
  --openings "$openings" --seed "$seed" --sprt 0 10 --concurrency "${SLURM_CPUS_PER_TASK:-1}" \
  --shard "$SLURM_ARRAY_TASK_ID/$shards" --record "$records/$SLURM_ARRAY_TASK_ID.txt" --resume
