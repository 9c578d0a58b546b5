#!/usr/bin/env bash
# What pictures far larger than the screen, and hostile ones, cost velunor
# --root on a private Xvfb of 1920x1080 (MORVA_BENCH_SIZE=WxH for another;
# with MORVA_BENCH_WAYLAND=1, velunor --wayland on a headless sway whose one
# output has that size): the time and CPU time from the start to the first
# tick (on a busy machine the CPU time says more), the peak memory of the
# whole process tree (velunor and its picture decoder), the line it says,
# and what SIGTERM 0.3 s after the start does (how soon it ends and how, and
# what it leaves: processes, files in its TMPDIR, shared-memory segments);
# on Wayland also what the compositor killed 0.3 s after the start does
# (each picture gets a sway of its own for that). The pictures:
#   - claim.jpg: a JPEG of 1024x768 whose header claims 65500x65500 pixels;
#   - 16000x12000.jpg, 8000x6000.jpg: JPEGs of those sizes (the shipped
#     picture stretched over them, with a grain of noise so that they
#     compress as a photo does, about 2 bits a pixel); 8000x6000.png, the
#     same as a PNG; photo.jpg: a progressive JPEG of 5640x3172;
#   - hostile: blur.svg (268 bytes: a 16384x16384 rectangle under a
#     Gaussian blur), uses.svg (3 KB: uses nested ten deep), blurs.svg (1 KB:
#     a blurred rectangle used 10^4 times, nested four deep), huge.jpg (a
#     complete progressive JPEG of 16384x16384 at full colour resolution),
#     flat.png (a complete PNG of 16384x16384), claim.gif, claim.bmp,
#     claim.pnm, claim.tga (a few bytes whose headers claim 16384x16384),
#     big.xpm (6000x4000), fifo (a FIFO nobody writes to) and fifo-cat (a
#     FIFO that cat writes the 8000x6000 JPEG into once).
#   scripts/bench-pictures.sh BUILD_DIR [VELUNOR ...]
# BUILD_DIR is a native build with its tests (velunor_test_picture makes the
# pictures); the programs measured are its velunor, or each VELUNOR given
# (say another tree's build, for a before and after). A run whose tree passes
# MORVA_BENCH_PICTURE_MAX_MB (4096) of memory or MORVA_BENCH_PICTURE_MAX_S
# (60) seconds without a tick is killed and reported so ("> 4096 MB", "> 60
# s"): an older build decodes whatever a header claims, and the machine is
# shared. MORVA_BENCH_PICTURES="NAME ..." measures only those.
set -u
source "$(dirname "$0")/bench-env.sh"
source "$MORVA_BENCH_ROOT/scripts/wayland-env.sh"
bench_build "${1:-}" "bench-pictures.sh BUILD_DIR [VELUNOR ...]"
shift
maker=$MORVA_BENCH_BUILD/tests/linux/velunor_test_picture
[ -x "$maker" ] || { echo "build velunor_test_picture in $MORVA_BENCH_BUILD first" >&2; exit 1; }
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=("$MORVA_BENCH_BUILD/velunor/velunor")
size=${MORVA_BENCH_SIZE:-1920x1080}
bench_work pictures

shipped=$MORVA_BENCH_ROOT/res/media/Morva0001.jpg
"$maker" "$shipped" 1024x768 "$MORVA_BENCH_WORK/claim.jpg" --claim 65500x65500 || exit 1
"$maker" "$shipped" 16000x12000 "$MORVA_BENCH_WORK/16000x12000.jpg" || exit 1
"$maker" "$shipped" 8000x6000 "$MORVA_BENCH_WORK/8000x6000.jpg" || exit 1
"$maker" "$shipped" 8000x6000 "$MORVA_BENCH_WORK/8000x6000.png" || exit 1
"$maker" "$shipped" 5640x3172 "$MORVA_BENCH_WORK/photo.jpg" --progressive || exit 1
"$maker" --flat-progressive 16384x16384 "$MORVA_BENCH_WORK/huge.jpg" || exit 1
convert -size 6000x4000 gradient:red-blue -colors 64 "$MORVA_BENCH_WORK/big.xpm" || exit 1
python3 - "$MORVA_BENCH_WORK" <<'PY' || exit 1
import os, struct, sys, zlib
work = sys.argv[1]
def put(name, data):
    with open(os.path.join(work, name), "wb") as f:
        f.write(data)
side = 16384
le = lambda *v: struct.pack("<" + "H" * len(v), *v)
put("claim.gif", b"GIF89a" + le(side, side) + b"\x80\0\0\0\0\0\xff\xff\xff," + le(0, 0, side, side) + b"\0\x08")
put("claim.bmp", b"BM" + bytes(12) + struct.pack("<IiiHH", 40, side, side, 1, 24) + bytes(40))
put("claim.pnm", b"P6\n16384 16384\n255\n" + bytes(16))
put("claim.tga", b"\0\0\2" + bytes(9) + le(side, side) + b"\x18\0" + bytes(16))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
packer = zlib.compressobj(9)
row = b"\0" + b"\x40\x80\xc0" * side
idat = b"".join(packer.compress(row) for _ in range(side)) + packer.flush()
put("flat.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
    + chunk(b"IDAT", idat) + chunk(b"IEND", b""))
put("blur.svg", b'<svg xmlns="http://www.w3.org/2000/svg" width="16384" height="16384"><filter id="f">'
    b'<feGaussianBlur stdDeviation="300"/></filter><rect width="16384" height="16384" fill="#48c" '
    b'filter="url(#f)"/></svg>')
uses = ['<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="1000" '
        'height="1000"><defs><rect id="l0" width="10" height="10"/>']
for level in range(1, 11):
    uses.append('<g id="l%d">%s</g>' % (level, '<use xlink:href="#l%d"/>' % (level - 1) * 10))
uses.append('</defs><use xlink:href="#l10"/></svg>')
put("uses.svg", "".join(uses).encode())
blurs = ['<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="1000" '
         'height="1000"><defs><filter id="f"><feGaussianBlur stdDeviation="40"/></filter><rect id="l0" '
         'width="1000" height="1000" fill="#48c" filter="url(#f)"/>']
for level in range(1, 5):
    blurs.append('<g id="l%d">%s</g>' % (level, '<use xlink:href="#l%d"/>' % (level - 1) * 10))
blurs.append('</defs><use xlink:href="#l4"/></svg>')
put("blurs.svg", "".join(blurs).encode())
PY
if [ "${MORVA_BENCH_WAYLAND:-0}" = 1 ]; then
    bench_cleanup() { morva_wayland_cleanup; }
    where=--wayland
else
    export DISPLAY
    DISPLAY=$(morva_xvfb_start "${size}x24") || exit 1
    where=--root
fi

# Two runs of PROGRAM on PICTURE, each with a TMPDIR of its own, and on
# Wayland a third; prints
#   first tick | CPU | tree peak | line | SIGTERM [| compositor killed]
# The first run waits for the first tick, sampling the tree every 10 ms
# (velunor's resident memory plus its children's peaks) and reading
# velunor's own peak at the end; the second sends SIGTERM 0.3 s after the
# start, the third kills the compositor (MORVA_SWAY_PID) then. PICTURE
# "fifo-cat" is a FIFO that cat writes 8000x6000.jpg into.
measure() {
    python3 - "$@" "$MORVA_BENCH_WORK" "${MORVA_BENCH_PICTURE_MAX_MB:-4096}" "${MORVA_BENCH_PICTURE_MAX_S:-60}" \
        "$where" "${MORVA_SWAY_PID:-0}" <<'PY'
import os, shutil, signal, subprocess, sys, tempfile, time
program, name, work, max_mb, max_s = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), float(sys.argv[5])
where, compositor = sys.argv[6], int(sys.argv[7])
tick = os.sysconf("SC_CLK_TCK")

def field(pid, key):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0

def children(pid):
    found = []
    try:
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/children" % (pid, task)) as f:
                found += [int(c) for c in f.read().split()]
    except OSError:
        pass
    return found + [g for c in found for g in children(c)]

def cpu(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        # Its own time and that of its children it has reaped.
        return sum(int(v) for v in fields[11:15]) * 1000 // tick
    except OSError:
        return 0

def start():
    temporary = tempfile.mkdtemp(prefix="tmp.", dir=work)
    picture = os.path.join(work, name)
    writer = None
    if name.startswith("fifo"):
        picture = os.path.join(work, name + ".fifo")
        if os.path.exists(picture):
            os.unlink(picture)
        os.mkfifo(picture)
        if name == "fifo-cat":
            writer = subprocess.Popen(["sh", "-c", 'exec cat "$0" >"$1"', os.path.join(work, "8000x6000.jpg"), picture])
    log = open(os.path.join(work, "run.err"), "w+")
    env = dict(os.environ, TMPDIR=temporary)
    process = subprocess.Popen([program, where, "--log-ticks", "--picture", picture], stderr=log, env=env)
    return process, log, temporary, writer, picture

def finish(process, log, temporary, writer, picture):
    for pid in [process.pid] + children(process.pid):
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
    process.wait()
    if writer:
        writer.kill()
        writer.wait()
    log.close()
    shutil.rmtree(temporary, ignore_errors=True)
    if name.startswith("fifo"):
        os.unlink(picture)

def said(log):
    log.seek(0)
    lines = [l.strip() for l in log if not l.startswith("velunor: tick ")]
    return lines[0].replace("velunor: ", "", 1).replace(work + "/", "") if lines else "(none)"

# The first tick and the tree's peak.
process, log, temporary, writer, picture = start()
t0 = time.monotonic()
peak = 0
first = None
cut = None
while first is None and cut is None:
    time.sleep(0.01)
    elapsed = time.monotonic() - t0
    tree = field(process.pid, "VmRSS") + sum(field(c, "VmHWM") for c in children(process.pid))
    peak = max(peak, tree)
    log.seek(0)
    if any(l.startswith("velunor: tick 1 ") for l in log):
        first = elapsed
    elif process.poll() is not None:
        cut = "ended before its first tick"
    elif tree > max_mb * 1024:
        cut = "> %d MB" % max_mb
    elif elapsed > max_s:
        cut = "> %g s" % max_s
peak = max(peak, field(process.pid, "VmHWM"))
used = cpu(process.pid) + sum(cpu(c) for c in children(process.pid))
line = said(log)
finish(process, log, temporary, writer, picture)
if first is not None:
    ticked = "%.2f s | %.2f s" % (first, used / 1000)
else:
    ticked = "%s | %.2f s" % (cut, used / 1000)
peak_text = "%d MB" % (peak // 1024) if cut is None or not cut.endswith("MB") else cut

# Started, then `stop` called with it 0.3 s later: how it ended, how soon,
# and what it left (processes, files in its TMPDIR, shared-memory segments).
def stopped(stop):
    process, log, temporary, writer, picture = start()
    time.sleep(0.3)
    seen = children(process.pid)
    sent = time.monotonic()
    stop(process)
    try:
        code = process.wait(timeout=5)
        took = "%.2f s" % (time.monotonic() - sent)
    except subprocess.TimeoutExpired:
        code, took = None, "> 5 s"
    time.sleep(0.2)
    left = [c for c in seen if os.path.exists("/proc/%d" % c)]
    files = sum(len(f) for _, _, f in os.walk(temporary))
    size = sum(os.path.getsize(os.path.join(d, n)) for d, _, f in os.walk(temporary) for n in f)
    segments = subprocess.run(["ipcs", "-mp"], capture_output=True, text=True).stdout.split("\n")
    shm = sum(1 for s in segments if len(s.split()) >= 3 and s.split()[2] == str(process.pid))
    how = "by SIGTERM" if code == -signal.SIGTERM else "exit %s" % code if code is not None else "still running"
    leaves = []
    if left:
        leaves.append("%d processes" % len(left))
    if files:
        leaves.append("%d files (%d MB)" % (files, size >> 20))
    if shm:
        leaves.append("%d segments" % shm)
    for pid in left:
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
    finish(process, log, temporary, writer, picture)
    return "%s in %s, leaves %s" % (how, took, ", ".join(leaves) or "nothing")

row = "%s | %s | %s | %s" % (ticked, peak_text, line, stopped(lambda process: process.send_signal(signal.SIGTERM)))
if compositor:
    row += " | " + stopped(lambda process: os.kill(compositor, signal.SIGKILL))
print(row)
PY
}

pictures=${MORVA_BENCH_PICTURES:-claim.jpg 16000x12000.jpg 8000x6000.jpg 8000x6000.png photo.jpg blur.svg uses.svg \
    blurs.svg huge.jpg flat.png claim.gif claim.bmp claim.pnm claim.tga big.xpm fifo fifo-cat}
echo "$(bench_machine); screen $size, velunor $where"
for program in "${programs[@]}"; do
    echo "$program:"
    if [ $where = --wayland ]; then
        echo "| picture | first tick | CPU to it | tree peak | line | SIGTERM after 0.3 s | compositor killed after 0.3 s |"
        echo "|---|---|---|---|---|---|---|"
    else
        echo "| picture | first tick | CPU to it | tree peak | line | SIGTERM after 0.3 s |"
        echo "|---|---|---|---|---|---|"
    fi
    for picture in $pictures; do
        # A compositor of its own, which the last run kills (quietly).
        if [ $where = --wayland ]; then
            morva_sway_start "$size" "$MORVA_BENCH_WORK/sway.log" || { echo "sway did not start" >&2; exit 1; }
            disown "$MORVA_SWAY_PID"
        fi
        echo "| $picture | $(measure "$program" "$picture") |"
    done
done
