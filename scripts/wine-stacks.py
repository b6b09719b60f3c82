#!/usr/bin/env python3
"""Prints where each thread of a stuck Wine process is, for a program of the cross build.

    wine-stacks.py PID

PID is the Linux process of the Windows program. A process that is ending can't be attached to
by winedbg, so each thread's stack is read from /proc: every word on it that points just after a
call instruction in a loaded .exe or .dll is printed, newest first, with the nearest symbol (the
program's own, or a DLL's export). Words left over from finished calls show too: read it as a
list of places, most of them the thread's live calls.
"""
import os
import re
import struct
import subprocess
import sys

TOOLS = "x86_64-w64-mingw32-"


def modules(pid):
    """Each mapped .exe or .dll: path -> (load address, image size, image base)."""
    found = {}
    with open(f"/proc/{pid}/maps") as maps:
        for line in maps:
            m = re.match(r"([0-9a-f]+)-[0-9a-f]+ \S+ \S+ \S+ \S+\s+(\S.*\.(?:exe|dll))$",
                         line.strip(), re.I)
            if m and (m.group(2) not in found or int(m.group(1), 16) < found[m.group(2)]):
                found[m.group(2)] = int(m.group(1), 16)
    result = {}
    for path, start in found.items():
        headers = subprocess.run([TOOLS + "objdump", "-p", path], capture_output=True,
                                 text=True).stdout
        size = re.search(r"SizeOfImage\s+([0-9a-f]+)", headers)
        base = re.search(r"ImageBase\s+([0-9a-f]+)", headers)
        if size and base:
            result[path] = (start, int(size.group(1), 16), int(base.group(1), 16), headers)
    return result


def symbols(path, headers):
    """Sorted (address, name) of the module's functions: its symbol table, else its exports."""
    table = subprocess.run([TOOLS + "nm", "-C", path], capture_output=True, text=True).stdout
    named = []
    for line in table.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[0] and parts[1] in "tT":
            named.append((int(parts[0], 16), parts[2]))
    if not named:
        base = int(re.search(r"ImageBase\s+([0-9a-f]+)", headers).group(1), 16)
        rvas, names = {}, {}
        in_names = False
        for line in headers.splitlines():
            m = re.match(r"\s*\[\s*(\d+)\]\s+\+base\[\s*\d+\]\s+([0-9a-f]+)\s+Export RVA", line)
            if m:
                rvas[int(m.group(1))] = int(m.group(2), 16)
            if line.startswith("[Ordinal/Name Pointer] Table"):
                in_names = True
            m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)$", line)
            if in_names and m:
                names[int(m.group(1))] = m.group(2)
        demangled = subprocess.run(["c++filt"], input="\n".join(names.values()),
                                   capture_output=True, text=True).stdout.splitlines()
        names = dict(zip(names.keys(), demangled))
        named = [(base + rva, names.get(i, "?")) for i, rva in rvas.items()]
    return sorted(named)


def after_call(mem, address):
    """Whether the bytes before `address` end with a call: E8 rel32, or FF /2 in any form."""
    try:
        mem.seek(address - 7)
        code = mem.read(7)
    except OSError:
        return False
    if len(code) < 7:
        return False
    if code[2] == 0xE8:
        return True
    return any(code[7 - n] == 0xFF and (code[8 - n] >> 3) & 7 == 2 for n in (2, 3, 4, 6, 7))


def stack_of(pid, tid):
    """The mapping that holds the thread's stack pointer, as Linux last saw it."""
    try:
        with open(f"/proc/{pid}/task/{tid}/syscall") as syscall:
            fields = syscall.read().split()
        sp = int(fields[-2], 16)
    except (OSError, ValueError, IndexError):
        return None
    with open(f"/proc/{pid}/maps") as maps:
        for line in maps:
            low, high = (int(x, 16) for x in line.split()[0].split("-"))
            if low <= sp < high:
                return low, high
    return None


def main():
    pid = int(sys.argv[1])
    loaded = modules(pid)
    cache = {}
    with open(f"/proc/{pid}/mem", "rb") as mem:
        for tid in sorted(int(t) for t in os.listdir(f"/proc/{pid}/task")):
            region = stack_of(pid, tid)
            print(f"thread {tid}:")
            if not region:
                print("  (running, or its stack can't be read)")
                continue
            mem.seek(region[0])
            data = mem.read(region[1] - region[0])
            lines = []
            for offset in range(len(data) - 8, -1, -8):
                value = struct.unpack_from("<Q", data, offset)[0]
                for path, (start, size, base, headers) in loaded.items():
                    if start <= value < start + size and after_call(mem, value):
                        if path not in cache:
                            cache[path] = symbols(path, headers)
                        address = value - start + base
                        name = "?"
                        for symbol_address, symbol in cache[path]:
                            if symbol_address > address:
                                break
                            name = f"{symbol}+{address - symbol_address:#x}"
                        module = path.rsplit("/", 1)[-1]
                        lines.append(f"  {region[0] + offset:#x}  {module}  {name[:160]}")
                        break
            print("\n".join(lines[:80]) if lines else "  (no return address found)")


if __name__ == "__main__":
    main()
