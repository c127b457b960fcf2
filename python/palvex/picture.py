"""Pictures as SendPicture takes them: 65,536 bytes, 128 rows of 512 pixel
codes. NumPy and Pillow are used when the picture is one of theirs; neither
is needed otherwise."""

from __future__ import annotations

from typing import Any, Sequence, Union

ROWS, COLUMNS = 128, 512
PICTURE_BYTES = ROWS * COLUMNS

Picture = Union[bytes, bytearray, memoryview, Sequence[Sequence[int]], Any]


def _on(sample: int, alpha: int, full: int) -> bool:
    """A sample counts as on when, scaled by the opacity, it is at least half
    of full (as palvex converts PNG and PGM pictures)."""
    return 2 * sample * alpha >= full * full


def _from_pillow(image: Any) -> bytes:
    grey = image.mode in ("1", "L", "LA", "I", "I;16", "F")
    image = image.convert("LA" if grey else "RGBA")
    width, height = image.size
    data = image.tobytes()
    channels = 2 if grey else 4
    rows = []
    for y in range(min(height, ROWS)):
        row = []
        for x in range(min(width, COLUMNS)):
            p = data[(y * width + x) * channels:][:channels]
            a = p[-1]
            if grey:
                row.append(1 if _on(p[0], a, 255) else 0)
            else:
                row.append(sum(1 << i for i in range(3) if _on(p[i], a, 255)))
        rows.append(row)
    return from_rows(rows)


def _from_numpy(array: Any) -> bytes:
    if array.ndim == 3 and array.shape[2] in (3, 4):
        import numpy

        full = 255 if array.dtype == numpy.uint8 else 65535
        a = array[..., 3].astype(numpy.uint64) if array.shape[2] == 4 else full
        bits = [(2 * array[..., i].astype(numpy.uint64) * a >= full * full) << i for i in range(3)]
        array = bits[0] | bits[1] | bits[2]
    if array.ndim != 2:
        raise ValueError("a picture array has two dimensions (rows, columns), or three with "
                         "RGB or RGBA samples")
    if array.size and (array.min() < 0 or array.max() > 255):
        raise OverflowError("pixel codes are 0..255")
    return from_rows(array[:ROWS, :COLUMNS].astype(int).tolist())


def from_rows(rows: Sequence[Sequence[int]]) -> bytes:
    """The picture of rows of pixel codes, top left; the rest is 0."""
    if len(rows) > ROWS or any(len(r) > COLUMNS for r in rows):
        raise ValueError(f"a picture has at most {ROWS} rows of {COLUMNS} pixels")
    picture = bytearray(PICTURE_BYTES)
    for y, row in enumerate(rows):
        try:
            picture[y * COLUMNS : y * COLUMNS + len(row)] = bytes(row)
        except ValueError:
            raise OverflowError("pixel codes are 0..255") from None
        except TypeError:
            raise TypeError("a row of a picture is a sequence of ints") from None
    return bytes(picture)


def picture_bytes(image: Picture) -> bytes:
    """The 65,536 bytes of a picture given as bytes (the picture itself), a
    2-D sequence of pixel codes (rows), a NumPy array (2-D codes, or RGB/RGBA
    samples) or a Pillow image (grey: 1 for at least half of white; colour:
    bit 0 red, bit 1 green, bit 2 blue, each when at least half on)."""
    if isinstance(image, (bytes, bytearray, memoryview)):
        data = bytes(image)
        if len(data) != PICTURE_BYTES:
            raise ValueError(f"a picture as bytes is {PICTURE_BYTES} bytes (128 rows of 512), "
                             f"not {len(data)}")
        return data
    kind = type(image).__module__.split(".")[0]
    if kind == "numpy":
        return _from_numpy(image)
    if kind == "PIL":
        return _from_pillow(image)
    if isinstance(image, str):
        raise TypeError("a picture is bytes, rows of pixel codes, a NumPy array or a Pillow image")
    try:
        return from_rows([list(row) for row in image])
    except TypeError:
        raise TypeError("a picture is bytes, rows of pixel codes, a NumPy array or a Pillow "
                        f"image, not {type(image).__name__}") from None
