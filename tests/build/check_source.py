#!/usr/bin/env python3
"""Checks the shape of the sources: file and function sizes, and that the includes of the
app's folders never run in a circle (a file and its header count as one), so every arrow
points down.

  check_source.py SRC_DIR [--max-file N] [--max-function N] [--acyclic FOLDER]...
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
# A definition at namespace scope opens on a line that starts in column 0 and closes with a
# "}" in column 0; namespaces, records and tables are not functions.
NOT_FUNCTION = re.compile(r'^(namespace|struct|class|enum|union|extern|constexpr [^(]*=|const [^(]*=|static [^(]*=|inline [^(]*=|[^(]*=\s*\{?$)')


def sources(root):
    for folder, _, names in os.walk(root):
        for name in sorted(names):
            if name.endswith(('.h', '.cpp', '.inc')):
                yield os.path.join(folder, name)


def long_functions(lines, limit):
    found, start, head = [], None, None
    for number, line in enumerate(lines, 1):
        if start is None:
            if line[:1] not in ('', ' ', '\t', '#', '/', '}') and line.rstrip().endswith('{') \
                    and '(' in line and not NOT_FUNCTION.match(line):
                start, head = number, line.strip()
        elif line.startswith('}'):
            if number - start + 1 > limit:
                found.append((start, number - start + 1, head))
            start = None
    return found


def node(root, path):
    """A header and its source file are one node: cpp and h of one name belong together."""
    return os.path.splitext(os.path.relpath(path, root))[0]


def cycles(graph):
    state, stack, found = {}, [], []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for m in sorted(graph.get(n, ())):
            if state.get(m) == 1:
                found.append(stack[stack.index(m):] + [m])
            elif m not in state:
                visit(m)
        stack.pop()
        state[n] = 2

    for n in sorted(graph):
        if n not in state:
            visit(n)
    return found


def main(argv):
    root = argv[1]
    max_file = int(argv[argv.index('--max-file') + 1]) if '--max-file' in argv else 700
    max_function = int(argv[argv.index('--max-function') + 1]) if '--max-function' in argv else 60
    problems, graph = [], {}
    for path in sources(root):
        with open(path, encoding='utf-8') as f:
            lines = f.read().split('\n')
        rel = os.path.relpath(path, root)
        if not path.endswith('.inc') and len(lines) > max_file:
            problems.append(f'{rel}: {len(lines)} lines (at most {max_file})')
        for start, length, head in long_functions(lines, max_function):
            problems.append(f'{rel}:{start}: a function of {length} lines (at most {max_function}): {head}')
        me = node(root, path)
        for line in lines:
            m = INCLUDE.match(line)
            if m and os.path.exists(os.path.join(root, m.group(1))):
                other = os.path.splitext(m.group(1))[0]
                if other != me:
                    graph.setdefault(me, set()).add(other)
    acyclic = [argv[i + 1] for i, a in enumerate(argv) if a == '--acyclic']
    for c in cycles(graph):
        if not any(n.startswith(folder + '/') for n in c for folder in acyclic):
            continue
        problems.append('includes run in a circle: ' + ' -> '.join(c))
    for p in problems:
        print(p)
    print(f'{len(problems)} problem(s) in {root}')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
