"""Reading the raw structure of the committed PNG and JPEG files, without any
image library, so the tests see exactly what the module's decoders will see."""

import struct
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_chunks(data):
    """List of (type, payload) of a PNG file; raises ValueError when the
    signature, a length or a CRC is wrong."""
    if data[:8] != PNG_SIGNATURE:
        raise ValueError("no PNG signature")
    pos, chunks = 8, []
    while pos < len(data):
        if pos + 12 > len(data):
            raise ValueError("truncated chunk header")
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        ctype = data[pos + 4:pos + 8]
        payload = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if len(payload) != length or zlib.crc32(ctype + payload) != crc:
            raise ValueError("bad chunk %r" % ctype)
        chunks.append((ctype.decode("latin-1"), payload))
        pos += 12 + length
    return chunks


def png_header(data):
    """(width, height, bit depth, colour type, interlace) from IHDR."""
    chunks = png_chunks(data)
    if not chunks or chunks[0][0] != "IHDR":
        raise ValueError("IHDR is not first")
    w, h, depth, ctype, _comp, _filt, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    return w, h, depth, ctype, interlace


def jpeg_frame(data):
    """(start-of-frame marker, precision, width, height, components) of a JPEG
    file; raises ValueError when there is no frame header before the scan."""
    if data[:2] != b"\xff\xd8":
        raise ValueError("no SOI")
    pos = 2
    while pos + 4 <= len(data):
        if data[pos] != 0xFF:
            raise ValueError("marker expected at %d" % pos)
        marker = data[pos + 1]
        if marker == 0xFF:  # fill byte
            pos += 1
            continue
        (length,) = struct.unpack(">H", data[pos + 2:pos + 4])
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            precision, height, width, ncomp = struct.unpack(">BHHB", data[pos + 4:pos + 10])
            return marker, precision, width, height, ncomp
        if marker == 0xDA:
            break
        pos += 2 + length
    raise ValueError("no frame header")
