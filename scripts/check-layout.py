#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks that the includes of src/ only point down the house's arrows.

Every file belongs to a room: a folder of src/engine, or src/gui, src/cli or src/devicehost (src/qtcompat.h is
everyone's). An include names its room by its path ("engine/store/cresultsstore.h"); a form's
generated header ("ui_*.h") belongs to the window. A room may include itself and the rooms below
it, nothing else, and the rooms' includes must not close a circle. Prints one line per fault and
exits 1 when there is any, 0 otherwise.

    scripts/check-layout.py [SRC]
"""
import pathlib
import re
import sys

# What each room may include, besides itself.
BELOW = {
    'engine/records': set(),
    'engine/device': {'engine/records'},
    'engine/settings': {'engine/device'},
    'engine/store': {'engine/records'},
    'engine/upload': {'engine/store'},
    'engine/burnin': {'engine/store', 'engine/settings', 'engine/device'},
    'engine/station': {'engine/burnin', 'engine/upload'},
    'gui': {'engine/station'},
    'cli': {'engine/station'},
    'devicehost': {'engine/device'},
}
COMMON = {'qtcompat.h'}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def reachable(room):
    """The rooms below room, however far down."""
    found, pending = set(), list(BELOW[room])
    while pending:
        below = pending.pop()
        if below not in found:
            found.add(below)
            pending.extend(BELOW.get(below, ()))
    return found


def room_of(path):
    """The room of a path relative to src/, or None for a file of no room."""
    parts = pathlib.PurePosixPath(path).parts
    if len(parts) >= 2 and parts[0] == 'engine':
        return 'engine/' + parts[1]
    if parts and parts[0] in ('gui', 'cli', 'devicehost'):
        return parts[0]
    return None


def included_room(include, including_room):
    if include in COMMON:
        return None
    if '/' not in include:
        # Beside the including file, or a form's generated header.
        return 'gui' if include.startswith('ui_') else including_room
    return room_of(include) or '?'


def circle(graph):
    """One circle of the graph as a list of rooms, or None."""
    state = {}

    def visit(node, trail):
        state[node] = 'open'
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == 'open':
                return trail[trail.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, trail + [nxt])
                if found:
                    return found
        state[node] = 'done'
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node, [node])
            if found:
                return found
    return None


def check(src):
    src = pathlib.Path(src)
    faults, graph = [], {}
    for path in sorted(src.rglob('*')):
        if path.suffix not in ('.h', '.cpp', '.c') or not path.is_file():
            continue
        relative = path.relative_to(src).as_posix()
        room = room_of(relative)
        if room is None:
            continue
        if room not in BELOW:
            faults.append(f'{relative}: a room the house does not have: {room}')
            continue
        allowed = reachable(room) | {room}
        for include in INCLUDE.findall(path.read_text(encoding='utf-8', errors='replace')):
            target = included_room(include, room)
            if target is None or target == room:
                continue
            graph.setdefault(room, set()).add(target)
            if target not in allowed:
                faults.append(f'{relative}: includes "{include}": {room} may not include {target}')
    found = circle(graph)
    if found:
        faults.append('a circle: ' + ' -> '.join(found))
    return faults


def main(argv):
    src = argv[1] if len(argv) > 1 else pathlib.Path(__file__).resolve().parent.parent / 'src'
    faults = check(src)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
