#!/bin/bash
# Self-play training data as a Slurm job array: array task K plays shard K of
# N of the run (engine-pro against itself) and writes data/K.txt. Submit it
# from the folder that holds build/ (or set TOVRANE):
#
#   sbatch docs/slurm/selfplay-array.sh            # all 16 shards
#   build/release/tools/tovrane tune data/*.txt    # the shards' files are the run
#   scancel 1234_7                                 # stops shard 7 ...
#   sbatch --array=7 docs/slurm/selfplay-array.sh  # ... and this resumes it
#
# A shard requeued after preemption (--requeue) or submitted again continues
# its file (--resume): its complete games are kept, a game cut short is played
# again. The settings below may also come from the environment (sbatch passes
# it on), e.g. SHARDS=3 GAMES=30 sbatch --array=1-3 docs/slurm/selfplay-array.sh.
#SBATCH --job-name=tovrane-selfplay
#SBATCH --array=1-16
#SBATCH --cpus-per-task=2
#SBATCH --requeue
#SBATCH --output=slurm-%x-%A_%a.out
set -euo pipefail

shards=${SHARDS:-16}   # N of every shard K/N: the last index of --array above
games=${GAMES:-32000}  # games of the whole run
seed=${SEED:-1}
nodes=${NODES:-10000}  # node budget of each move's search
T=${TOVRANE:-build/release/tools/tovrane}
data=${DATA:-data}

mkdir -p "$data"
exec "$T" selfplay --games "$games" --seed "$seed" --nodes "$nodes" --threads "${SLURM_CPUS_PER_TASK:-1}" \
  --shard "$SLURM_ARRAY_TASK_ID/$shards" --out "$data/$SLURM_ARRAY_TASK_ID.txt" --resume
