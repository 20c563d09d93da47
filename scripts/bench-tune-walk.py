#!/usr/bin/env python3
"""A tuning pass over several microphone positions for bench-tune.sh, the
person played by this script: at every prompt of quenbar-cli tune the
emulated room's microphone is moved to the position asked for (SIGUSR1 moves
it on to the next of the room's four), then Enter; a position said not to be
ok is measured again where it is.

  bench-tune-walk.py QUENBAR_CLI PORT EMULATOR_PID POSITIONS OUT.json ERR.txt

Prints the pass's seconds without the waiting (from the start to its end,
less every span from a prompt to the Enter that answered it), then those of
its measuring and proposing alone (up to the prompt back to position 1).
"""
import os
import signal
import subprocess
import sys
import time

PROMPT = "Move the microphone to position "
KEEP = "Press Enter to keep"
ROOM_POSITIONS = 4


def main():
    cli, port, emulator, positions, out_path, err_path = sys.argv[1:7]
    emulator = int(emulator)
    start = time.monotonic()
    waited = 0.0
    at = 1
    proposed = None
    not_ok = False
    with open(out_path, "w") as out, open(err_path, "w") as err:
        tune = subprocess.Popen([cli, "--port", port, "tune", "--apply", "--json", "--length", "2", "--positions",
                                 positions], stdin=subprocess.PIPE, stdout=out, stderr=subprocess.PIPE, text=True)
        for line in tune.stderr:
            err.write(line)
            not_ok = not_ok or "is not ok" in line
            if not line.startswith((PROMPT, KEEP)):
                continue
            asked = time.monotonic()
            if not_ok or line.startswith(KEEP):
                tune.stdin.write("again\n" if not_ok else "\n")
                tune.stdin.flush()
                not_ok = False
                waited += time.monotonic() - asked
                continue
            wanted = int(line[len(PROMPT):].split()[0])
            if wanted == 1 and proposed is None:
                proposed = asked - start - waited
            while at != wanted:
                os.kill(emulator, signal.SIGUSR1)
                time.sleep(0.1)
                at = at % ROOM_POSITIONS + 1
            time.sleep(0.2)  # a few audio blocks: the move is heard
            tune.stdin.write("\n")
            tune.stdin.flush()
            waited += time.monotonic() - asked
        tune.wait()
    print(f"{time.monotonic() - start - waited:.2f} {proposed or 0:.2f}")
    return tune.returncode


if __name__ == "__main__":
    sys.exit(main())
