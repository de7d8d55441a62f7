#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into tests/fuzz/corpus/ (kept in the
repository; run again only to change them): a valid library file and its near
misses, a valid settings file and its near misses, and the messages a unit
sends, framed for the MIDI handler target (state byte, program byte, then
length byte and message, repeated)."""
import os

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
DUMP_HEAD = bytes([0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20])


def dump(p, seed=0, number=None):
    body = bytes(((p * 31 + i * 7 + seed) & 0x7F) for i in range(9, 46))
    return DUMP_HEAD + bytes([p if number is None else number]) + body + b"\xF7"


def write(folder, name, data):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    with open(os.path.join(HERE, folder, name), "wb") as f:
        f.write(data)


# Library files.
block = b"".join(dump(p, 3) for p in range(100))
assert len(block) == 4700
write("library_reader", "valid.ksqx", block)
write("library_reader", "one_byte_short.ksqx", block[:-1])
write("library_reader", "one_byte_long.ksqx", block + b"\xF7")
write("library_reader", "current_program_magic.ksqx", block[:6] + b"\x40" + block[7:])
write("library_reader", "number_bytes_all_zero.ksqx", b"".join(dump(p, 9, 0) for p in range(100)))
write("library_reader", "eight_bit_values.ksqx", b"".join(DUMP_HEAD + bytes([p]) + b"\xFF" * 37 + b"\xF7" for p in range(100)))
write("library_reader", "header_only.ksqx", DUMP_HEAD)

# Settings files: the default block and its near misses.
defaults = bytes(b"KSQC" + bytes([12, 6, 106, 2, 74, 8, 0, 0, 0, 0, 0, 0])
                 + bytes([1, 0, 1, 0, 1, 1, 1, 1, 1, 0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1])
                 + bytes([30, 40, 69, 30, 75, 30, 129, 39, 39, 39, 39, 46, 39, 89, 28, 79, 33, 30, 60, 75, 28, 30,
                          60, 59, 28, 82]))
assert len(defaults) == 66
write("settings_reader", "valid.ksqc", defaults)
write("settings_reader", "one_byte_short.ksqc", defaults[:-1])
write("settings_reader", "one_byte_long.ksqc", defaults + b"\x00")
write("settings_reader", "wrong_magic.ksqc", b"KSQX" + defaults[4:])
extreme = bytearray(defaults)
extreme[4:10] = bytes([255, 255, 255, 255, 255, 255])
extreme[16:40] = bytes([0] * 24)
extreme[40:66] = bytes([0, 255] * 13)
write("settings_reader", "extreme_values.ksqc", bytes(extreme))
tiny = bytearray(defaults)
tiny[4:10] = bytes([5, 9, 3, 1, 3, 3])
tiny[16:40] = bytes([2] * 24)
write("settings_reader", "small_window_small_font.ksqc", bytes(tiny))

# MIDI messages the unit sends, one or more per input, in each state
# (0 idle, 1 waiting for the identity reply, 2 reception, 3 transmission).
IDENTITY = bytes([0xF0, 0x7E, 0x00, 0x06, 0x02, 0x42, 0x10, 0x01, 0x27, 0x00, 0x01, 0x00, 0x03, 0x00, 0xF7])
DONE = bytes([0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x23, 0xF7])
CURRENT = bytes([0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x40]) + dump(7)[9:46] + b"\xF7"


def framed(state, reached, *messages):
    out = bytes([state, reached])
    for m in messages:
        out += bytes([len(m)]) + m
    return out


write("midi_handler", "idle_identity_reply", framed(0, 0, IDENTITY))
write("midi_handler", "idle_channel_messages", framed(0, 0, bytes([0x90, 60, 100]), bytes([0xB0, 7, 127]),
                                                        bytes([0x80, 60, 0]), bytes([0xC0, 5]), bytes([0xFE])))
write("midi_handler", "waiting_identity_reply", framed(1, 0, IDENTITY))
write("midi_handler", "waiting_other_family", framed(1, 0, IDENTITY[:6] + b"\x11" + IDENTITY[7:]))
write("midi_handler", "waiting_short_reply", framed(1, 0, IDENTITY[:8]))
write("midi_handler", "reception_first_dump", framed(2, 0, dump(0), dump(1)))
write("midi_handler", "reception_last_dump", framed(2, 99, dump(99, 4)))
write("midi_handler", "reception_wrong_program", framed(2, 40, dump(41), dump(40)))
write("midi_handler", "reception_truncated", framed(2, 99, dump(99)[:40] + b"\xF7"))
write("midi_handler", "reception_overlong", framed(2, 98, dump(98)[:-1] + b"\x00\xF7", dump(98), dump(99)))
write("midi_handler", "reception_unterminated", framed(2, 99, dump(99)[:-1] + b"\x00"))
write("midi_handler", "reception_duplicated", framed(2, 10, dump(10), dump(10), dump(11)))
write("midi_handler", "reception_noise_between", framed(2, 97, bytes([0x90, 60, 1]), dump(97), bytes([0xF8]), dump(98),
                                                         dump(99)))
write("midi_handler", "transmission_acknowledged", framed(3, 0, DONE, DONE))
write("midi_handler", "transmission_last", framed(3, 99, DONE, DONE))
write("midi_handler", "transmission_middle_current", framed(3, 50, CURRENT, DONE))
write("midi_handler", "idle_dump_and_ack", framed(0, 0, dump(0), DONE, CURRENT))
# The same while the ports change (state bit 2): kept, then handled in order.
write("midi_handler", "changing_waiting_identity", framed(1 | 4, 0, bytes([0x90, 60, 100]), IDENTITY))
write("midi_handler", "changing_reception_last", framed(2 | 4, 98, dump(98), bytes([0xF8]), dump(99)))
write("midi_handler", "changing_transmission", framed(3 | 4, 50, DONE, IDENTITY, DONE))
