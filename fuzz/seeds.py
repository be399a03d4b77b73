#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/).

The seeds are small inputs that reach the interesting states at once: the
acknowledgement split across reads, markers split at every point, odd reads,
prompts after noise, echoes right and wrong, settings files of every shape.
Run it again after changing an input layout; the output is deterministic.
"""
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as out:
        out.write(data)


def provider(front, back):
    """FuzzedDataProvider layout: bytes from the front, integers from the back."""
    return bytes(front) + bytes(reversed(back))


def samples(count, seed):
    rng = random.Random(seed)
    return b''.join(struct.pack('<H', rng.choice([0x180, 0x1F0, 0x2A8, 0x40, 0x3000]))
                    for _ in range(count))


def capture_seed(dump, chunks, quiet_ms=None):
    """Each read's length, then whether the device is quiet after it (never
    after the last, unless quiet_ms: then that long)."""
    back = [1 if dump else 0]
    for i, chunk in enumerate(chunks):
        back.append(len(chunk))
        if i + 1 < len(chunks):
            back.append(0)
    if quiet_ms is not None:
        back += [1, quiet_ms >> 8, quiet_ms & 0xFF]
    return provider(b''.join(chunks), back)


def capture_seeds():
    echo_noise = b'u 0 0 0\r\n'
    stream = samples(60, 1)
    # Whole chunks of 64 with the success marker split at every point.
    for split in range(0, 8):
        body = stream + b'OK!\r\n> '
        chunks = [echo_noise + b'OK\r\n']
        rest = body
        cut = len(body) - 7 + split
        chunks += [rest[:cut][i:i + 64] for i in range(0, cut, 64)]
        if rest[cut:]:
            chunks.append(rest[cut:])
        write('fuzz_capture', 'success-split-%d' % split, capture_seed(True, chunks))
    write('fuzz_capture', 'failure-whole',
          capture_seed(True, [b'OK\r\n', stream[:64], stream[64:] + b'KO!\r\n> ']))
    write('fuzz_capture', 'failure-split',
          capture_seed(True, [b'OK\r\n' + stream[:60] + b'KO!\r', b'\n> ']))
    write('fuzz_capture', 'ack-split-odd-reads',
          capture_seed(False, [b'noise O', b'K\r', b'\n' + stream[:5], stream[5:12], b'', stream[12:40] + b'OK!\r\n> ']))
    write('fuzz_capture', 'no-ack', capture_seed(True, [b'OK\r', b'\r\n', b'OK!\r\n> ']))
    write('fuzz_capture', 'many-reads', capture_seed(True, [b'OK\r\n'] + [stream[i:i + 3] for i in range(0, 90, 3)]))
    # Stray bytes behind the marker, then the device's silence.
    write('fuzz_capture', 'quiet-after-stray',
          capture_seed(True, [b'OK\r\n', stream[:64], stream[64:] + b'OK!\r\n> \n'], 2000))
    write('fuzz_capture', 'quiet-too-short',
          capture_seed(True, [b'OK\r\n', stream[:64], stream[64:] + b'OK!\r\n> \n'], 1999))
    write('fuzz_capture', 'quiet-failure-split',
          capture_seed(True, [b'OK\r\n' + stream[:60] + b'KO', b'!\r\n> ab', b'cd'], 3000))
    write('fuzz_capture', 'quiet-after-more-data',
          capture_seed(False, [b'OK\r\n' + stream[:20] + b'OK!\r\n> x', stream[20:100]], 2500))


def integer(value, largest):
    """The bytes FuzzedDataProvider consumes for a value in 0..largest, in the
    order it consumes them."""
    count = 0
    while count < 8 and (largest >> (8 * count)) > 0:
        count += 1
    return [(value >> (8 * (count - 1 - i))) & 0xFF for i in range(count)]


def random_length_string(text):
    """ConsumeRandomLengthString: a backslash is doubled, a lone one ends it."""
    return text.replace(b'\\', b'\\\\') + b'\\x'


def console_prompt_seed(reads):
    """reads: pieces of device output; None is a read that times out empty."""
    back = integer(0, 2)
    front = b''
    for piece in reads:
        piece = piece or b''
        back += integer(len(piece), 300)
        front += piece
    return provider(front, back)


def console_echo_seed(text, writes, reads):
    back = integer(1, 2)
    front = random_length_string(text)
    line = len(text) + 1
    left = line
    for size in writes:
        back += integer(size, left)
        left -= size
    for piece in reads:
        back += integer(len(piece), 300)
        front += piece
    return provider(front, back)


def console_seeds():
    prompt = b'\r\n> '
    write('fuzz_console', 'prompt-after-greeting', console_prompt_seed([b'ZR7K8-LC ready' + prompt]))
    write('fuzz_console', 'prompt-split-cr-lf', console_prompt_seed([b'hello\r', None, b'\n> ']))
    write('fuzz_console', 'prompt-then-one-more', console_prompt_seed([prompt + b'x', prompt]))
    write('fuzz_console', 'prompt-without-space', console_prompt_seed([b'\r\n>', None, None]))
    noise = bytes(random.Random(2).randrange(32, 127) for _ in range(300))
    write('fuzz_console', 'prompt-after-full-buffer',
          console_prompt_seed([noise[:200], noise[200:], b'\r\n', b'> ']))
    write('fuzz_console', 'echo-right', console_echo_seed(b'u 0 1 0', [3, 5], [b'u 0 1 0\r\n']))
    write('fuzz_console', 'echo-wrong-line-end', console_echo_seed(b'u 0 1 0', [8], [b'u 0 1', b' 0\n\r']))
    write('fuzz_console', 'echo-empty-text', console_echo_seed(b'', [1], [b'\r\n']))
    write('fuzz_console', 'echo-too-long', console_echo_seed(b'u' * 255, [256], []))
    write('fuzz_console', 'check-success', provider(b'OK', integer(2, 2) + integer(1, 300) + integer(1, 300)))


class Pulses:
    """Pulse bytes as run-length records for fuzz_decoders: (pulse, control),
    control bit 7 = restart on the record's first pulse, low 6 bits = count - 1
    (bit 6 clear) or count / 64 - 1 (bit 6 set)."""

    def __init__(self):
        self.runs = []   # [pulse, count, restart]

    def add(self, pulse, count=1, restart=False):
        if self.runs and self.runs[-1][0] == pulse and not restart:
            self.runs[-1][1] += count
        else:
            self.runs.append([pulse, count, restart])

    def records(self):
        out = bytearray()
        for pulse, count, restart in self.runs:
            first = True
            while count > 0:
                flag = 0x80 if restart and first else 0
                first = False
                if count >= 64:
                    take = min(count // 64, 64)
                    out += bytes([pulse, flag | 0x40 | (take - 1)])
                    count -= take * 64
                else:
                    out += bytes([pulse, flag | (count - 1)])
                    count = 0
        return bytes(out)


ROM_SHORT, ROM_MEDIUM, ROM_LONG = 94, 132, 172


def rom_byte(pulses, byte):
    pulses.add(ROM_LONG)
    pulses.add(ROM_MEDIUM)
    ones = 0
    for bit in range(8):
        one = (byte >> bit) & 1
        ones += one
        pulses.add(ROM_MEDIUM if one else ROM_SHORT)
        pulses.add(ROM_SHORT if one else ROM_MEDIUM)
    check = (ones & 1) ^ 1
    pulses.add(ROM_MEDIUM if check else ROM_SHORT)
    pulses.add(ROM_SHORT if check else ROM_MEDIUM)


def rom_header(pulses, name, pilot=5200):
    pulses.add(ROM_SHORT, pilot)
    for countdown in range(0x89, 0x80, -1):
        rom_byte(pulses, countdown)
    for byte in bytes([1, 0x01, 0x08, 0x16, 0x08]) + name.ljust(16, b' ') + b'  ':
        rom_byte(pulses, byte)


def turbo_header(pulses, zero, one, sync_first, name, lead_in=960):
    def byte(value):
        for bit in range(7, -1, -1):
            pulses.add(one if (value >> bit) & 1 else zero)
    for _ in range(lead_in):
        byte(0x02)
    for value in range(sync_first, 0, -1):
        byte(value)
    for value in bytes([1, 0x01, 0x08, 0x16, 0x08, 0x00]) + name.ljust(16, b' ') + b'  ':
        byte(value)


def decoder_seeds():
    # Roads: 0 the ROM decoder alone, 1 Turbo Tape 250 alone, 2 Turrican
    # alone, 3 the name finder (all three in order).
    rom = Pulses()
    rom_header(rom, b'ROMEO & JULIET')
    tt250 = Pulses()
    turbo_header(tt250, 53, 81, 9, b'DEMO TURBO')
    turrican = Pulses()
    turbo_header(turrican, 55, 81, 12, b'DEMO TURRICAN')
    for road, name, pulses in ((0, 'rom', rom), (1, 'tt250', tt250), (2, 'turrican', turrican)):
        write('fuzz_decoders', 'alone-' + name, bytes([road]) + pulses.records())
        write('fuzz_decoders', 'finder-' + name, bytes([3]) + pulses.records())
    # A header cut short by a restart, then a whole one.
    both = Pulses()
    rom_header(both, b'FIRST')
    both.runs = both.runs[:len(both.runs) // 2]
    both.add(ROM_SHORT, 1, restart=True)
    rom_header(both, b'SECOND')
    write('fuzz_decoders', 'alone-rom-restarted', bytes([0]) + both.records())


def settings_seeds():
    head = b'# ZR7K8 USB serial client config file - do NOT edit\n\n[connection]\n'
    write('fuzz_settings', 'plain', head + b'device_port=COM3\nbootloader_port=COM4\n')
    write('fuzz_settings', 'escaped', head + b'device_port=\\s/dev/tty ACM0\\\\\\n\nbootloader_port=\\t\n')
    write('fuzz_settings', 'one-key', head + b'device_port=/dev/ttyACM0\n')
    write('fuzz_settings', 'other-group', b'[other]\ndevice_port=x\n')
    write('fuzz_settings', 'not-a-key-file', b'device_port=COM3\n')
    write('fuzz_settings', 'bad-escape', head + b'device_port=\\q\nbootloader_port=COM4\n')
    write('fuzz_settings', 'not-utf8', head + b'device_port=\xff\xfe\nbootloader_port=COM4\n')
    write('fuzz_settings', 'empty', b'')


DEMO_PROGRAM = bytes([0x0B, 0x08, 0x0A, 0x00, 0x9E, ord('2'), ord('0'), ord('6'), ord('1'), 0, 0, 0, 0x55, 0xAA])


class Tape:
    """Pieces of tape for fuzz_tape_index: records (operation, argument)."""

    def __init__(self):
        self.out = bytearray()

    PIECES = 9  # the number of pieces[] in fuzz_tape_index.cpp
    OTHER_TURBO_LOADERS = 7  # other_turbo_file's loaders

    def op(self, code, high, arg):
        self.out += bytes([code + high * self.PIECES, arg])

    def pilot(self, pulses):
        """A multiple of 4 up to 1024, or within two of the block reader's (32)
        or the name decoder's (5001) shortest pilot."""
        for edge_index, edge in enumerate((32, 5001)):
            if abs(pulses - edge) <= 2:
                self.op(0, 1 + 2 * edge_index, pulses - edge + 2)
                return
        self.op(0, 0, pulses // 4 - 1)

    def header_copy(self, repeated, data_length=13, kind=1):
        self.op(5, data_length // 13, kind | (8 if repeated else 0))

    def data_copy(self, repeated, length=13):
        self.op(6, 1 if repeated else 0, length)

    def byte(self, value, fault=None):  # fault 1 broken pair, 2 flipped bit, 3 lost pulse, 4 broken marker
        if fault is None:
            self.op(1, 0, value)
        else:
            self.op(2, fault - 1, value)

    def damaged_data_copy(self, faults, length=13):
        data = bytes(DEMO_PROGRAM[i % len(DEMO_PROGRAM)] for i in range(length))
        checksum = 0
        for value in data:
            checksum ^= value
        self.pilot(32)
        for countdown in range(0x89, 0x80, -1):
            self.byte(countdown)
        for at, value in enumerate(data + bytes([checksum])):
            self.byte(value, faults.get(at))
        self.op(3, 0, 0)

    def program(self, damage=None):
        self.pilot(5001)
        self.header_copy(False)
        self.pilot(80)
        self.header_copy(True)
        self.pilot(5001)
        if damage:
            self.damaged_data_copy(damage)
        else:
            self.data_copy(False)
        self.pilot(80)
        self.data_copy(True)
        self.pilot(80)


def tape_index_seeds():
    good = Tape()
    good.program()
    write('fuzz_tape_index', 'program', bytes(good.out))
    repaired = Tape()
    repaired.program({2: 1, 3: 2, 5: 3, 9: 4, 10: 4})
    write('fuzz_tape_index', 'program-damaged', bytes(repaired.out))
    mixed = Tape()
    mixed.program()
    mixed.op(7, 0, 0)
    mixed.op(7, 0, 1)
    mixed.pilot(5001)
    mixed.header_copy(False, kind=4)
    mixed.pilot(5001)
    mixed.header_copy(False, kind=5)
    write('fuzz_tape_index', 'program-turbo-data-file-end', bytes(mixed.out))
    others = Tape()
    for loader in range(Tape.OTHER_TURBO_LOADERS):
        others.op(8, loader, 40)                                # clean
        others.op(8, loader + Tape.OTHER_TURBO_LOADERS, 41)     # a far pulse in its data
        others.op(8, loader + Tape.OTHER_TURBO_LOADERS, 100)    # a bit turned in its data
    write('fuzz_tape_index', 'other-turbo-loaders', bytes(others.out))


def rescue_seeds():
    """Program length, take count, seed; then (take and deed, 24-bit place)."""
    write('fuzz_rescue', 'clean-two-takes', bytes([80, 0, 7]))
    write('fuzz_rescue', 'each-take-broken-elsewhere',
          bytes([80, 0, 7, 0x00, 0x40, 0, 0, 0x01, 0x48, 0, 0, 0x00, 0xB0, 0, 0, 0x01, 0xB8, 0, 0]))
    write('fuzz_rescue', 'three-takes-begun-late-and-cut',
          bytes([150, 1, 3, 0x80, 0x08, 0, 0, 0xC2, 0xF0, 0, 0, 0x01, 0x60, 0, 0]))


def main():
    capture_seeds()
    console_seeds()
    decoder_seeds()
    settings_seeds()
    tape_index_seeds()
    rescue_seeds()


if __name__ == '__main__':
    main()
