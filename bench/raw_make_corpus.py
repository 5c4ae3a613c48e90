#!/usr/bin/env python3
"""Makes real files of every carvable type with the real tools (ImageMagick, cwebp, ffmpeg, sox, flac,
7z, gzip/bzip2/xz/zstd, python's zipfile and sqlite3), for the carving benchmark images.

    bench/raw_make_corpus.py DIR COUNT [TYPES]

Writes COUNT files of each type (TYPES: comma-separated extensions, default all) to DIR/<ext>/.
Each file differs from the others (seeded content), so files are told apart by their sha256.
Slow tools run under nice by the caller. Reproducible for the same arguments.
"""
import io, os, random, sqlite3, struct, subprocess, sys, zipfile, zlib

def run(*args, **kw):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)

def magick(out, rng, fmt_args=()):
    w, h = rng.randint(64, 640), rng.randint(48, 480)
    run("convert", "-size", "%dx%d" % (w, h), "-seed", str(rng.randint(0, 1 << 30)), "plasma:fractal",
        *fmt_args, out)

def ff(out, rng, *codec):
    d = rng.randint(1, 4)
    size = rng.choice(["160x120", "320x240"])
    run("ffmpeg", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
        "testsrc=duration=%d:size=%s:rate=15" % (d, size), "-f", "lavfi", "-i",
        "sine=frequency=%d:duration=%d" % (rng.randint(200, 2000), d), *codec, out)

def ff_audio(out, rng, *codec):
    d = rng.randint(1, 5)
    run("ffmpeg", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
        "sine=frequency=%d:duration=%d" % (rng.randint(200, 2000), d), *codec, out)

def text(rng, n):
    words = ["disk", "sector", "file", "recover", "photo", "letter", "invoice", "meeting", "report", "data"]
    return " ".join(rng.choice(words) for _ in range(n))

def office(out, rng, kind):
    parts = {"docx": ("word/document.xml", "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"),
             "xlsx": ("xl/workbook.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"),
             "pptx": ("ppt/presentation.xml", "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml")}
    name, ctype = parts[kind]
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", '<?xml version="1.0"?><Types><Override PartName="/%s" ContentType="%s"/></Types>' % (name, ctype))
        z.writestr("_rels/.rels", '<?xml version="1.0"?><Relationships/>')
        z.writestr(name, '<?xml version="1.0"?><doc>%s</doc>' % text(rng, rng.randint(200, 5000)))
        z.writestr("docProps/thumb.bin", rng.randbytes(rng.randint(1000, 30000)))

def odf(out, rng, kind):
    mime = {"odt": "text", "ods": "spreadsheet", "odp": "presentation"}[kind]
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument." + mime, compress_type=zipfile.ZIP_STORED)
        z.writestr("content.xml", '<?xml version="1.0"?><office:document>%s</office:document>' % text(rng, rng.randint(200, 5000)))
        z.writestr("META-INF/manifest.xml", '<?xml version="1.0"?><manifest/>')

def epub(out, rng):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/epub+zip", compress_type=zipfile.ZIP_STORED)
        z.writestr("META-INF/container.xml", '<?xml version="1.0"?><container/>')
        z.writestr("OEBPS/ch1.xhtml", "<html><body>%s</body></html>" % text(rng, rng.randint(500, 5000)))

def jar(out, rng, apk=False):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n")
        if apk:
            z.writestr("AndroidManifest.xml", rng.randbytes(2000))
            z.writestr("classes.dex", b"dex\n035\0" + rng.randbytes(rng.randint(5000, 50000)))
        else:
            z.writestr("a/Main.class", b"\xca\xfe\xba\xbe" + rng.randbytes(rng.randint(1000, 20000)))

def plainzip(out, rng):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(rng.randint(1, 5)):
            z.writestr("file%d.txt" % i, text(rng, rng.randint(100, 4000)))
        z.writestr("blob.bin", rng.randbytes(rng.randint(1000, 100000)), compress_type=zipfile.ZIP_STORED)

def pdf(out, rng, tmp):
    # ImageMagick's PDF writer is off by policy on Debian: the document is written here, one page with
    # a JPEG made by ImageMagick and a compressed text stream, as a PDF writer lays it out.
    magick(tmp + ".jpg", rng)
    jpeg = open(tmp + ".jpg", "rb").read()
    os.unlink(tmp + ".jpg")
    w, h = struct.unpack(">HH", jpeg[jpeg.index(b"\xff\xc0") + 5:][:4])[::-1]
    content = zlib.compress(("BT /F1 12 Tf 20 20 Td (%s) Tj ET q %d 0 0 %d 0 40 cm /Im0 Do Q" % (text(rng, 8), w, h)).encode())
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> /XObject << /Im0 6 0 R >> >> >>" % (w, h + 40),
               b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(content) + content + b"\nendstream",
               b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
               b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length %d >>\nstream\n" % (w, h, len(jpeg)) + jpeg + b"\nendstream"]
    data = b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n"
    offsets = []
    for i, body in enumerate(objects):
        offsets.append(len(data))
        data += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(data)
    data += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    data += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    data += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    if rng.random() < 0.5:
        # An incremental update, as editors append one: a new object, its xref section and trailer.
        size = len(objects) + 1
        body = b"%d 0 obj\n<< /Title (update %d) >>\nendobj\n" % (size, rng.randint(0, 99999))
        at = len(data)
        data += body
        xref2 = len(data)
        data += (b"xref\n%d 1\n%010d 00000 n \ntrailer\n<< /Size %d /Root 1 0 R /Prev %d /Info %d 0 R >>\nstartxref\n%d\n%%%%EOF\n"
                 % (size, at, size + 1, xref, size, xref2))
    open(out, "wb").write(data)

def sqlite(out, rng):
    db = sqlite3.connect(out)
    db.execute("create table t (id integer primary key, name text, blob blob)")
    for i in range(rng.randint(10, 800)):
        db.execute("insert into t (name, blob) values (?, ?)", (text(rng, 10), rng.randbytes(rng.randint(10, 400))))
    db.commit()
    db.close()

def compressed(out, rng, tool):
    raw = (text(rng, rng.randint(1000, 40000)) + "\n").encode() + rng.randbytes(rng.randint(0, 20000))
    src = out[: out.rindex(".")]
    open(src, "wb").write(raw)
    if tool == "7z":
        run("7z", "a", "-bd", "-y", out, src)
        os.unlink(src)
    elif tool == "zst":
        run("zstd", "-q", "-f", "--rm", src, "-o", out)
    else:
        run(tool, "-f", src)

def html(out, rng):
    body = "".join("<p>%s</p>\n" % text(rng, rng.randint(10, 80)) for _ in range(rng.randint(5, 200)))
    open(out, "w").write("<!DOCTYPE html>\n<html><head><title>%s</title></head>\n<body>\n%s</body>\n</html>\n" % (text(rng, 3), body))

def xml(out, rng):
    items = "".join("  <item id=\"%d\">%s</item>\n" % (i, text(rng, rng.randint(3, 30))) for i in range(rng.randint(5, 400)))
    open(out, "w").write('<?xml version="1.0" encoding="UTF-8"?>\n<catalog>\n%s</catalog>\n' % items)

def rtf(out, rng):
    open(out, "w").write("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 %s \\par}\n" % text(rng, rng.randint(50, 3000)))

def eml(out, rng):
    open(out, "w").write("Return-Path: <a@example.org>\nFrom: a@example.org\nTo: b@example.org\nSubject: %s\n"
                         "MIME-Version: 1.0\nContent-Type: text/plain\n\n%s\n" % (text(rng, 4), text(rng, rng.randint(50, 3000))))

MAKERS = {
    "jpg": lambda o, r, t: magick(o, r, ("-quality", str(r.randint(60, 95)))),
    "png": lambda o, r, t: magick(o, r),
    "gif": lambda o, r, t: magick(o, r, ("-colors", "64")),
    "bmp": lambda o, r, t: magick(o, r),
    "tif": lambda o, r, t: magick(o, r, ("-compress", r.choice(["none", "lzw", "zip"]))),
    "psd": lambda o, r, t: magick(o, r),
    "ico": lambda o, r, t: magick(o, r, ("-resize", "48x48!")),
    "pcx": lambda o, r, t: magick(o, r),
    "webp": lambda o, r, t: (magick(t + ".png", r), run("cwebp", "-quiet", "-q", str(r.randint(50, 90)), t + ".png", "-o", o), os.unlink(t + ".png")),
    "mp4": lambda o, r, t: ff(o, r, "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"),
    "mov": lambda o, r, t: ff(o, r, "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"),
    "3gp": lambda o, r, t: ff(o, r, "-c:v", "h263", "-s", "176x144", "-ar", "8000", "-ac", "1", "-c:a", "aac"),
    "m4a": lambda o, r, t: ff_audio(o, r, "-c:a", "aac"),
    "avi": lambda o, r, t: ff(o, r, "-c:v", "mpeg4", "-c:a", "mp3"),
    "mkv": lambda o, r, t: ff(o, r, "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"),
    "webm": lambda o, r, t: ff(o, r, "-c:v", "libvpx", "-b:v", "200k", "-c:a", "libvorbis"),
    "flv": lambda o, r, t: ff(o, r, "-c:v", "flv", "-c:a", "mp3", "-ar", "44100"),
    "mpg": lambda o, r, t: ff(o, r, "-c:v", "mpeg2video", "-c:a", "mp2"),
    "ts": lambda o, r, t: ff(o, r, "-c:v", "mpeg2video", "-c:a", "mp2", "-f", "mpegts"),
    "wmv": lambda o, r, t: ff(o, r, "-c:v", "wmv2", "-c:a", "wmav2"),
    "mp3": lambda o, r, t: ff_audio(o, r, "-c:a", "libmp3lame", "-b:a", r.choice(["64k", "128k", "192k"])),
    "ogg": lambda o, r, t: ff_audio(o, r, "-c:a", "libvorbis"),
    "wav": lambda o, r, t: run("sox", "-n", "-r", "22050", o, "synth", str(r.randint(1, 4)), "pluck", str(r.randint(200, 900))),
    "aif": lambda o, r, t: run("sox", "-n", "-r", "22050", o, "synth", str(r.randint(1, 4)), "sine", str(r.randint(200, 900))),
    "flac": lambda o, r, t: (run("sox", "-n", "-r", "44100", "-b", "16", t + ".wav", "synth", str(r.randint(1, 4)), "pluck", str(r.randint(200, 900))),
                             run("flac", "-s", "-f", "-o", o, t + ".wav"), os.unlink(t + ".wav")),
    "zip": lambda o, r, t: plainzip(o, r),
    "docx": lambda o, r, t: office(o, r, "docx"),
    "xlsx": lambda o, r, t: office(o, r, "xlsx"),
    "pptx": lambda o, r, t: office(o, r, "pptx"),
    "odt": lambda o, r, t: odf(o, r, "odt"),
    "ods": lambda o, r, t: odf(o, r, "ods"),
    "epub": lambda o, r, t: epub(o, r),
    "jar": lambda o, r, t: jar(o, r),
    "apk": lambda o, r, t: jar(o, r, True),
    "pdf": lambda o, r, t: pdf(o, r, t),
    "sqlite": lambda o, r, t: sqlite(o, r),
    "gz": lambda o, r, t: compressed(o, r, "gzip"),
    "bz2": lambda o, r, t: compressed(o, r, "bzip2"),
    "xz": lambda o, r, t: compressed(o, r, "xz"),
    "zst": lambda o, r, t: compressed(o, r, "zst"),
    "7z": lambda o, r, t: compressed(o, r, "7z"),
    "html": lambda o, r, t: html(o, r),
    "xml": lambda o, r, t: xml(o, r),
    "rtf": lambda o, r, t: rtf(o, r),
    "eml": lambda o, r, t: eml(o, r),
}

def main():
    out, count = sys.argv[1], int(sys.argv[2])
    types = sys.argv[3].split(",") if len(sys.argv) > 3 else list(MAKERS)
    for ext in types:
        os.makedirs(os.path.join(out, ext), exist_ok=True)
        for i in range(count):
            path = os.path.join(out, ext, "%s%04d.%s" % (ext, i, ext))
            if os.path.exists(path):
                continue
            rng = random.Random("%s-%d" % (ext, i))
            MAKERS[ext](path, rng, os.path.join(out, ext, "tmp%d" % i))

if __name__ == "__main__":
    main()
