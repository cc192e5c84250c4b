# nbdkit Python plugin: a drive that claims more than it holds, as the
# counterfeit USB sticks and SD cards do.
#
#   nbdkit -s python fake_drive.py size=1G real=256M mode=wrap|drop
#
# It reports `size` bytes but stores only the first `real` bytes, in memory.
# mode=wrap: every offset folds modulo `real`, so writes past the real end
#            overwrite earlier data (the address lines of the flash are cut).
# mode=drop: writes past the real end vanish and reads there give zeros.
import nbdkit

API_VERSION = 2

claimed = None
real = None
mode = None
store = None


def config(key, value):
    global claimed, real, mode
    if key == "size":
        claimed = nbdkit.parse_size(value)
    elif key == "real":
        real = nbdkit.parse_size(value)
    elif key == "mode":
        if value not in ("wrap", "drop"):
            raise ValueError("mode must be wrap or drop, not %r" % value)
        mode = value
    else:
        raise ValueError("unknown parameter %r" % key)


def config_complete():
    global store
    if claimed is None or real is None or mode is None:
        raise ValueError("size=, real= and mode= are all needed")
    if not 0 < real <= claimed:
        raise ValueError("real must be above 0 and at most size")
    store = memoryview(bytearray(real))


def thread_model():
    return nbdkit.THREAD_MODEL_SERIALIZE_ALL_REQUESTS


def open(readonly):
    return 1


def get_size(h):
    return claimed


def pieces(offset, length):
    """Splits a request into (place in the request, place in the store or
    None when nothing backs it, length) so that no piece crosses the real
    end."""
    done = 0
    while done < length:
        at = offset + done
        if mode == "wrap":
            place = at % real
            n = min(length - done, real - place)
        elif at < real:
            place = at
            n = min(length - done, real - at)
        else:
            place = None
            n = length - done
        yield done, place, n
        done += n


def pread(h, buf, offset, flags):
    for start, place, n in pieces(offset, len(buf)):
        if place is None:
            buf[start:start + n] = bytes(n)
        else:
            buf[start:start + n] = store[place:place + n]


def pwrite(h, buf, offset, flags):
    for start, place, n in pieces(offset, len(buf)):
        if place is not None:
            store[place:place + n] = buf[start:start + n]


def flush(h, flags):
    pass
