#!/usr/bin/env python3
"""trace_calls.py TRACE - the calls of an apitrace recording, for trace.cpp.

`apitrace pickle` writes one Python pickle per call; Python's own unpickler
reads them, and each call goes out in a plain prefix form that C++ reads in
a few lines: N (None), T and F (booleans), i<integer>; r<float>; (repr, which
gives the double back to the bit), s<length>:<bytes> (a string or a blob),
l<count>; and that many values (a tuple, a list, or a dictionary as its
(key, value) pairs), o<length>:<class name> and its arguments as a list (a
value of a class apitrace names, such as a pointer).
"""
import io
import pickle
import subprocess
import sys


class Opaque:
    def __init__(self, name, arguments=()):
        self.name, self.arguments = name, arguments


class Calls(pickle.Unpickler):
    # apitrace's classes are not importable here: each stays a name.
    def find_class(self, module, name):
        return lambda *arguments: Opaque(module + "." + name, arguments)


def write(value, out):
    if value is None:
        out += b"N"
    elif isinstance(value, bool):
        out += b"T" if value else b"F"
    elif isinstance(value, int):
        out += b"i%d;" % value
    elif isinstance(value, float):
        out += b"r%s;" % repr(value).encode()
    elif isinstance(value, (str, bytes)):
        data = value.encode() if isinstance(value, str) else value
        out += b"s%d:%s" % (len(data), data)
    elif isinstance(value, (list, tuple, dict)):
        items = list(value.items()) if isinstance(value, dict) else value
        out += b"l%d;" % len(items)
        for item in items:
            write(item, out)
    elif isinstance(value, Opaque) or callable(value):
        opaque = value if isinstance(value, Opaque) else value()
        name = opaque.name.encode()
        out += b"o%d:%s" % (len(name), name)
        write(list(opaque.arguments), out)
    else:
        raise ValueError("a value of an unknown kind: %r" % (value,))


def main(trace):
    run = subprocess.run(["apitrace", "pickle", trace], capture_output=True)
    if run.returncode != 0:
        sys.exit("'apitrace pickle %s' failed: %s" % (trace, run.stderr.decode(errors="replace")))
    stream = io.BytesIO(run.stdout)
    pickles = Calls(stream, encoding="bytes")
    out = bytearray()
    try:
        while stream.tell() < len(run.stdout):
            write(pickles.load(), out)
    except Exception as error:
        sys.exit("cannot read apitrace's pickle output of %s: %s" % (trace, error))
    sys.stdout.buffer.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
