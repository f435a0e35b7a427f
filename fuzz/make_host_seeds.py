#!/usr/bin/env python3
"""Writes the seed programs of duv_fuzz_host into fuzz/corpus/host, and those
of duv_fuzz_lv2 (FuzzLv2Sequence.cpp's format) into fuzz/corpus/lv2.

Each seed is a host session seen in practice (a scanner's probe, a project
restore, automation with the editor open) or a hostile one, encoded in the
program format FuzzHostSequence.cpp reads. The tables below mirror the
fuzzer's edge-value tables: an entry's position is the byte that selects it.
"""
import os
import struct

OPCODES = [2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 19, 22, 23, 24, 25, 26, 27, 29, 33, 34,
           35, 41, 42, 44, 45, 47, 48, 49, 50, 51, 52, 53, 56, 58, 67, 68, 66, 69, 71, 72, 0]
INDICES = [0, 1, 2, 5, 10, 11, 12, -1, -2, 7, 100, -2**31, 2**31 - 1, 0x44555670]
VALUES = [0, 1, 2, 3, -1, 11, 12, 512, 1024, 4096, 8192, 1 << 22, (1 << 22) + 1, 2**31 - 1, 2**31,
          -2**63, 2**63 - 1]
OPTS = [0.0, -0.0, 1.0, -1.0, 0.5, 0.25, 1.5, 1e-40, 'nan', 'inf', '-inf', 'max', 'lowest', 1.0,
        8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 768000.0, 2.2e9, 3.0, 44100.5]
FRAMES = [0, -1, 1, 2, 3, 31, 64, 127, 511, 512, 1023, 1024, 1025, 2048, 4095, 4096, 4097, 8191,
          8192, -2**31]

# Step kinds.
DISPATCH, SETPARAM, GETPARAM, RATE, BLOCK, MAINS, PROCESS, CHUNK, EDITOR, TIME, REOPEN = \
    0, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13
REPLACING, DOUBLE, ACCUMULATING = 0, 1, 2
SILENCE, SINE, RAW, NAN, INF, SUBNORMAL, HUGE, NOISE = range(8)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def index(v):
    return bytes([INDICES.index(v)]) if v in INDICES else b'\xff' + u32(v)


def value(v):
    return bytes([VALUES.index(v)]) if v in VALUES else b'\xff' + u32(v)


def opt(v):
    if v in OPTS:
        return bytes([OPTS.index(v)])
    return b'\xff' + struct.pack('<f', v)


def frames(n):
    return bytes([FRAMES.index(n)]) if n in FRAMES else b'\xff' + u32(n)


def step(kind, instance=0):
    return bytes([(instance << 6) | kind])


def dispatch(opcode, idx=0, val=0, o=0.0, args=b'', instance=0):
    return step(DISPATCH, instance) + bytes([OPCODES.index(opcode)]) + index(idx) + value(val) + \
        opt(o) + b'\x01' + args


def can_do(text, instance=0):
    raw = text.encode()
    return dispatch(51, args=b'\x01' + bytes([len(raw)]) + raw, instance=instance)


def set_param(i, v, instance=0):
    return step(SETPARAM, instance) + index(i) + opt(v)


def process(kind, n, fill, instance=0):
    return step(PROCESS, instance) + bytes([kind]) + frames(n) + bytes([fill, 0xff])


def mains(on, instance=0):
    return step(MAINS, instance) + bytes([1 if on else 0])


def rate(hz, instance=0):
    return step(RATE, instance) + opt(hz)


def block(n, instance=0):
    return step(BLOCK, instance) + b'\x00' + frames(n)


def chunk(body, bank=True, instance=0):
    # 8 + 8 per parameter bytes, the header made real, then bank or program.
    return step(CHUNK, instance) + b'\x01' + body + b'\x01' + bytes([0 if bank else 1])


def editor(what, ticks=0, instance=0):
    return step(EDITOR, instance) + bytes([what]) + (bytes([ticks]) if what == 1 else b'')


def probe_mouse(kind, x, y, instance=0):
    return dispatch(50, 0x44555670, 2, args=bytes([kind, 1]) + u32(x) + bytes([1]) + u32(y) +
                    bytes([1, 0, 0, 0, 0]) + u32(0), instance=instance)


def probe_snapshot(instance=0):
    return dispatch(50, 0x44555670, 1, args=b'\x00', instance=instance)


PARAMS = 11
DEFAULT_CHUNK = b'tffp\0\0\1\0' + b''.join(struct.pack('<d', v) for v in
                                             [0.4, 0.3, 0.2, 0.7, 0.1, 1.0, 0.5, 0.0, 1.0, 0.0, 0.5])

SEEDS = {
    # A plug-in scanner: versions, names, category, capabilities, then gone.
    'scanner': b'\x00' + dispatch(58) + dispatch(45) + dispatch(47) + dispatch(48) + dispatch(35) +
    can_do('receiveVstEvents') + can_do('receiveVstMidiEvent') + can_do('sendVstEvents') +
    can_do('sendVstMidiEvent') + dispatch(33, 0) + dispatch(34, 1) + mains(False),
    # A host restoring a project: rate, block, names, program, the project's
    # values twice, a bank chunk, then playback in split blocks with a mains
    # cycle between two of them.
    'project-restore': b'\x03' + rate(48000.0) + block(1024) +
    b''.join(dispatch(26, i) + dispatch(8, i) + dispatch(7, i) for i in range(PARAMS)) +
    can_do('bypass') + b''.join(dispatch(29, i) for i in range(12)) + dispatch(67) +
    dispatch(2, 0, 1) + dispatch(68) + dispatch(0) +
    b''.join(set_param(i, v) for _ in range(2) for i, v in
             enumerate([0.4, 0.3, 0.2, 0.7, 0.1, 1.0, 0.5, 0.0, 1.0, 0.0, 0.5])) +
    chunk(DEFAULT_CHUNK) + mains(True) +
    process(REPLACING, 704, SINE) + process(REPLACING, 64, SINE) + process(REPLACING, 256, SINE) +
    process(REPLACING, 1024, SINE) + mains(False) + mains(True) + process(REPLACING, 1024, SINE) +
    dispatch(23, 0) + dispatch(23, 1),
    # Automation: two instances, the editor open on one, parameters moved
    # while both play, the editor drawn and clicked and dragged.
    'automation': b'\x04' + rate(44100.0) + rate(44100.0, 1) + block(512) + block(512, 1) +
    mains(True) + mains(True, 1) + editor(0) + probe_snapshot() +
    b''.join(set_param(i % PARAMS, (i % 5) / 4.0, i % 2) + process(DOUBLE if i % 3 else REPLACING, 512,
                                                                   NOISE, i % 2)
             for i in range(16)) +
    probe_mouse(0, 100, 120) + probe_mouse(2, 100, 90) + probe_mouse(1, 100, 90) + editor(1, 3) +
    probe_mouse(4, 300, 120) + editor(1, 1) + editor(2),
    # A hostile session: odd rates and blocks, oversized calls, non-finite
    # input, a reopen, garbage chunks.
    'hostile': b'\x02' + rate(0.0) + rate('nan') + rate(-1.0) + rate(3.0) + block(0) + block(-1) +
    block(1) + block(4097) + mains(True) + process(REPLACING, 8192, NAN) + process(DOUBLE, 4097, INF) +
    process(ACCUMULATING, 1, SUBNORMAL) + process(REPLACING, 8191, HUGE) + set_param(-1, float('nan')) +
    set_param(3, float('inf')) + set_param(4, -1.0) + dispatch(2, 0, -1) + dispatch(2, 0, 2**31) +
    dispatch(24, 0, 5, args=b'\x00\x05abcde') + chunk(b'\xff' * (8 + 8 * PARAMS), bank=False) +
    step(REOPEN) + mains(True) + process(REPLACING, 1024, RAW) + b'\x00\x00\xc0\x7f' * 4,
}


# ---- LV2 sessions ----
LV2_FRAMES = [0, 1, 2, 3, 31, 64, 511, 512, 1023, 1024, 1025, 4096, 4097, 8191, 8192]
LV2_VALUES = [0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 12.0, 100.0]
PORT_PARAMS, PORT_LATENCY, PORT_LAMP = 4, 4 + PARAMS, 5 + PARAMS


def lv2_connect(port, v=0.0):
    return bytes([0, port + 2, 1]) + (bytes([LV2_VALUES.index(v)]) if v in LV2_VALUES
                                      else b'\xff' + struct.pack('<f', v))


def lv2_run(n, fill=0):
    return bytes([4, LV2_FRAMES.index(n), fill, 0xff])


LV2_SEEDS = {
    # A host loading the plug-in: every control port connected, activated,
    # a few blocks of the announced length, deactivated.
    'playback': bytes([0, LV2_FRAMES.index(1024)]) +
    b''.join(lv2_connect(PORT_PARAMS + i, 0.5) for i in range(PARAMS)) + lv2_connect(PORT_LATENCY) +
    lv2_connect(PORT_LAMP) + b'\x02' + lv2_run(1024) + lv2_run(512) + lv2_run(1024, 4) + b'\x03',
    # No options feature, values moved between runs, non-finite input, a new
    # instance at 48 kHz.
    'automation': bytes([0, 0]) + lv2_connect(PORT_PARAMS, 1.0) + lv2_connect(PORT_PARAMS + 3, 12.0) +
    lv2_connect(PORT_LATENCY) + b'\x02' + lv2_run(8192) + bytes([1, PORT_PARAMS, 3]) + lv2_run(4097, 1) +
    bytes([1, PORT_PARAMS + 3, 9]) + lv2_run(64, 2) + b'\x03\x02' + lv2_run(1) + b'\x05\x01' +
    bytes([LV2_FRAMES.index(512)]) + b'\x02' + lv2_run(512),
}


def write(kind, seeds):
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus', kind)
    os.makedirs(out, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(out, name + '.bin'), 'wb') as f:
            f.write(data)


def main():
    write('host', SEEDS)
    write('lv2', LV2_SEEDS)


if __name__ == '__main__':
    main()
