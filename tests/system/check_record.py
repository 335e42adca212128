#!/usr/bin/env python3
"""Checks a lesson's record and results as a teacher's spreadsheet reads them.

Usage: check_record.py KIROKU KEKKA [SEAT=A,B,... ...]

Kekka.csv must count what Kiroku.csv holds, seats 1 to 50, column by column.
With seats given, Kiroku.csv must hold exactly those answers, one per column,
and 0 in every column of every seat not given.
"""
import sys


def rows(path):
    return open(path, encoding='cp932', newline='').read().split('\r\n')


def main():
    record, results = rows(sys.argv[1])[1:51], rows(sys.argv[2])[1:-1]
    cells = [[int(c) for c in line.split(',')[1:]] for line in record]
    problems = []
    if len(results) != len(cells[0]):
        problems.append(f'{len(cells[0])} columns in the record, {len(results)} results')
    for column, result in enumerate(results):
        counts = [int(n) for n in result.split(',')[7:13]]
        expected = [sum(1 for seat in cells if seat[column] == k) for k in range(1, 6)]
        if counts != expected + [sum(expected)]:
            problems.append(f'question {column + 1}: results {counts}, record {expected}')
    if len(sys.argv) > 3:
        wanted = {seat: [0] * len(cells[0]) for seat in range(1, 51)}
        for arg in sys.argv[3:]:
            seat, answers = arg.split('=')
            wanted[int(seat)] = [int(a) for a in answers.split(',')]
        for seat in range(1, 51):
            if cells[seat - 1] != wanted[seat]:
                problems.append(f'seat {seat}: {cells[seat - 1]}, not {wanted[seat]}')
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
