"""Lists a compound file through olefile, one line per element:

    R <root clsid>
    D <path> <clsid> <mtime as seconds since 1970 or ->
    S <path> <size> <md5 of the content>

Paths are joined with '/'; class ids are printed as olefile gives them
("" becomes "-"). Exit status 2 when olefile refuses the file."""
import calendar
import hashlib
import sys

import olefile


def main(path):
    try:
        ole = olefile.OleFileIO(path)
    except Exception as exc:  # olefile raises several kinds
        print("ERROR", exc)
        return 2
    print("R", ole.root.clsid or "-")
    for entry in sorted(ole.listdir(streams=True, storages=True)):
        name = "/".join(entry)
        if ole.get_type(entry) == olefile.STGTY_STORAGE:
            mtime = ole.getmtime(entry)
            stamp = str(calendar.timegm(mtime.utctimetuple())) if mtime else "-"
            print("D", name, ole.getclsid(entry) or "-", stamp)
        else:
            data = ole.openstream(entry).read()
            print("S", name, len(data), hashlib.md5(data).hexdigest())
    ole.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
