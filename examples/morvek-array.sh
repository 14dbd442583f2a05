#!/usr/bin/env bash
# One series per task of a Slurm job array: task i analyses the i-th data
# file (counted from 0) of the sorted list of *.dat files in $MORVEK_DATA and
# writes its folder into $MORVEK_OUT. Every task writes a folder of its own,
# so the tasks may run side by side on any nodes that share $MORVEK_OUT.
#
#   sbatch examples/morvek-array.sh
#
# Set --array to 0-(number of files - 1), for example with
#   sbatch --array=0-$(( $(ls stations/*.dat | wc -l) - 1 )) examples/morvek-array.sh
# (an option on the command line overrides the #SBATCH line below).
#
# After the array, write the summary of all series:
#   morvek-batch --collect "$MORVEK_OUT"
# for example as a job that waits for the array to end, however its tasks ended:
#   jobid=$(sbatch --parsable examples/morvek-array.sh)
#   sbatch --dependency=afterany:$jobid --wrap "morvek-batch --collect results"
#
# Environment (the defaults in brackets):
#   MORVEK_DATA     folder of the data files, as morvek-prep writes them [stations]
#   MORVEK_OUT      output folder [results]
#   MORVEK_OPTIONS  options of morvek-batch, split at blanks [--z 2.5];
#                   set but empty for none
#   MORVEK_BATCH    the program [morvek-batch]
# Slurm passes the environment of sbatch on to the tasks.
#
# Without Slurm, one task can be run by hand:
#   SLURM_ARRAY_TASK_ID=3 MORVEK_DATA=stations MORVEK_OUT=results bash examples/morvek-array.sh
#
#SBATCH --job-name=morvek
#SBATCH --array=0-99
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --time=00:30:00
#SBATCH --output=morvek-%A_%a.log
set -euo pipefail

DATA=${MORVEK_DATA:-stations}
OUT=${MORVEK_OUT:-results}
OPTIONS=${MORVEK_OPTIONS-"--z 2.5"}
BATCH=${MORVEK_BATCH:-morvek-batch}

fail() {
  echo "morvek-array.sh: $*" >&2
  exit 2
}

[ -n "${SLURM_ARRAY_TASK_ID:-}" ] ||
  fail "SLURM_ARRAY_TASK_ID is not set: submit this script with sbatch --array, or set it by hand"
[[ $SLURM_ARRAY_TASK_ID =~ ^[0-9]+$ ]] ||
  fail "SLURM_ARRAY_TASK_ID=$SLURM_ARRAY_TASK_ID is not a whole number from 0"
[ -d "$DATA" ] || fail "$DATA: no such folder (MORVEK_DATA names the folder of the data files)"

# The data files in a fixed order, the same in every task; names may hold
# blanks.
files=()
while IFS= read -r -d '' file; do
  files+=("$file")
done < <(find "$DATA" -maxdepth 1 -name '*.dat' ! -name '.*' \( -type f -o -type l \) -print0 | LC_ALL=C sort -z)

index=$((10#$SLURM_ARRAY_TASK_ID))
[ ${#files[@]} -gt 0 ] || fail "$DATA: no *.dat files"
[ "$index" -lt ${#files[@]} ] ||
  fail "task $index: $DATA holds ${#files[@]} *.dat files (tasks 0 to $((${#files[@]} - 1))); set --array to 0-$((${#files[@]} - 1))"
file=${files[$index]}

# The options are split at blanks on purpose; the file name is not.
read -r -a options <<<"$OPTIONS"
echo "morvek-array.sh: task $index: $file" >&2
status=0
"$BATCH" ${options[@]+"${options[@]}"} -o "$OUT" "$file" || status=$?
exit "$status"
