#!/usr/bin/env python3
"""The test-to-code ratio of the tree: non-blank C++ lines that are not only a comment,
under tests/ and fuzz/ against every other tracked C++ file. The rule is at most 0.40.

Usage: bench/count_lines.py [REPO] [-v]   (-v lists the test files by size)
"""
import collections
import os
import subprocess
import sys

EXTENSIONS = ('.cpp', '.h', '.hpp', '.cc', '.cxx')


def code_lines(path):
    n = 0
    in_block = False
    for line in open(path, encoding='utf-8', errors='replace'):
        s = line.strip()
        if in_block:
            if '*/' not in s:
                continue
            in_block = False
            s = s.split('*/', 1)[1].strip()
            if not s:
                continue
        if not s or s.startswith('//'):
            continue
        if s.startswith('/*'):
            if '*/' not in s:
                in_block = True
                continue
            if not s.split('*/', 1)[1].strip():
                continue
        n += 1
    return n


def main():
    args = [a for a in sys.argv[1:] if a != '-v']
    base = args[0] if args else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    files = subprocess.run(['git', 'ls-files'], capture_output=True, text=True, cwd=base,
                           check=True).stdout.split()
    tests = code = 0
    per_file = collections.Counter()
    for f in files:
        if not f.endswith(EXTENSIONS):
            continue
        n = code_lines(os.path.join(base, f))
        if f.startswith(('tests/', 'fuzz/')):
            tests += n
            per_file[f] = n
        else:
            code += n
    print(f"tests {tests}, code {code}, ratio {tests / code:.3f} (at most 0.40: {int(code * 0.4)} test lines)")
    if '-v' in sys.argv:
        for f, n in per_file.most_common():
            print(f"{n:6} {f}")
    return 0 if tests <= code * 0.4 else 1


if __name__ == '__main__':
    sys.exit(main())
