"""Side-by-side timing on a busy machine: the clients take turns (A B A B ...) for a number of
rounds, so that other work weighs on each alike, and each is judged by its median run."""

import statistics


def interleaved_runs(clients, rounds):
    """clients: (name, run) pairs, run() returning seconds. Returns {name: [seconds, ...]}."""
    times = {name: [] for name, _ in clients}
    for _ in range(rounds):
        for name, run in clients:
            times[name].append(run())
    return times


def print_runs(times, count, unit, ours, peer, goal):
    """Prints every run and the median of each client, then ours's median over peer's, the
    figure the goal is judged by."""
    width = max(len(name) for name in times)
    for name, runs in times.items():
        median = statistics.median(runs)
        print("  %-*s median %7.2f s %8.1f %s/s   runs: %s"
              % (width, name, median, count / median, unit, " ".join("%.2f" % t for t in runs)))
    ratio = statistics.median(times[ours]) / statistics.median(times[peer])
    print("median of %s / median of %s: %.2f (goal: at most %.1f)" % (ours, peer, ratio, goal))
    # The same ratio taken round by round, where both ran minutes apart at most.
    rounds = [a / b for a, b in zip(times[ours], times[peer])]
    print("  round by round: %s; their median %.2f" % (" ".join("%.2f" % r for r in rounds), statistics.median(rounds)))
    return ratio
