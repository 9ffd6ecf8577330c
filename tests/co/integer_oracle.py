#!/usr/bin/env python3
"""Oracle for the Integer tests: random operand pairs with the results of
Python's integers, one pair per line.

    integer_oracle.py COUNT SEED

Each line holds, blank-separated and in decimal:
    a b s e l  a+b a-b a*b a/b a%b a&b a|b a^b ~a a<<s a>>s a**e gcd(a,b)
    bitlen(a) isqrt(|a|) a*l a/l a%l
where b and l are never zero, s is a shift count (0..199), e an exponent
(0..7) and l a 32-bit signed number. Division truncates toward zero and the
remainder takes the sign of the dividend, as Integer's does; bit operations
and shifts follow Python's two's-complement rules.
"""
import math
import random
import sys


def tdiv(a, b):
    q = abs(a) // abs(b)
    return q if (a < 0) == (b < 0) else -q


def tmod(a, b):
    return a - b * tdiv(a, b)


def operand(rng):
    kind = rng.random()
    if kind < 0.05:
        v = rng.choice([0, 1, 2, 65535, 65536, 2**31 - 1, 2**31, 2**32 - 1, 2**32])
    elif kind < 0.15:
        v = 2 ** rng.randrange(0, 330) + rng.choice([-1, 0, 1])
    else:
        v = int("".join(rng.choice("0123456789") for _ in range(rng.randint(1, 100))))
    return -v if rng.random() < 0.5 else v


def main():
    count, seed = int(sys.argv[1]), int(sys.argv[2])
    rng = random.Random(seed)
    out = sys.stdout
    for _ in range(count):
        a = operand(rng)
        b = operand(rng) or 7
        s = rng.randrange(200)
        e = rng.randrange(8)
        l = rng.randint(-2**31, 2**31 - 1) or -2**31
        row = [a, b, s, e, l,
               a + b, a - b, a * b, tdiv(a, b), tmod(a, b),
               a & b, a | b, a ^ b, ~a, a << s, a >> s, a ** e, math.gcd(a, b),
               a.bit_length(), math.isqrt(abs(a)),
               a * l, tdiv(a, l), tmod(a, l)]
        out.write(" ".join(str(v) for v in row))
        out.write("\n")


if __name__ == "__main__":
    main()
