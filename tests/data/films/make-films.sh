#!/bin/sh
# Regenerates the test films of this folder. Every frame shows its own number
# in binary: eight columns of four pixels, column b light (235) when bit b of
# the frame number is set, dark (16) otherwise, so a test can tell which frame
# it got even through lossy codecs.
set -eu
cd "$(dirname "$0")"

number="geq=lum='if(mod(floor(N/pow(2,floor(X/4))),2),235,16)':cb=128:cr=128"
src() { # frames
    echo "color=c=black:s=32x24:r=25,trim=end_frame=$1,format=yuv444p,$number"
}
make() { # name frames output-options...
    name=$1 frames=$2
    shift 2
    ffmpeg -nostdin -v error -y -f lavfi -i "$(src "$frames")" "$@" -an "$name"
}

make raw24-topdown.avi 12 -pix_fmt bgr24 -c:v rawvideo
make raw8-pal.avi 12 -pix_fmt pal8 -c:v rawvideo
make raw8-grey.avi 12 -pix_fmt gray -c:v rawvideo
make raw16-555.avi 12 -pix_fmt rgb555le -c:v rawvideo
make raw32.avi 12 -pix_fmt bgra -c:v rawvideo
make msvideo1.avi 12 -c:v msvideo1
make cinepak.avi 12 -c:v cinepak
make mjpeg.avi 12 -c:v mjpeg -q:v 3 -pix_fmt yuvj422p
make mjpeg-1.avi 1 -c:v mjpeg -q:v 3 -pix_fmt yuvj422p
make mjpeg-2.avi 2 -c:v mjpeg -q:v 3 -pix_fmt yuvj422p
make mjpeg-3.avi 3 -c:v mjpeg -q:v 3 -pix_fmt yuvj422p
# Open GOPs with B-frames: leading B-frames of each GOP need the GOP before.
make mpeg4-bframes.avi 40 -c:v mpeg4 -q:v 3 -bf 2 -g 9 -pix_fmt yuv420p
make mpeg4-bframes.mp4 40 -c:v mpeg4 -q:v 3 -bf 2 -g 9 -pix_fmt yuv420p
make mpeg1-opengop.mpg 40 -c:v mpeg1video -q:v 3 -bf 2 -g 9 -pix_fmt yuv420p
make mpeg2.mpg 40 -c:v mpeg2video -q:v 3 -bf 2 -g 9 -pix_fmt yuv420p
make mpeg2.ts 40 -c:v mpeg2video -q:v 3 -bf 2 -g 9 -pix_fmt yuv420p
make h264.mkv 40 -c:v libx264 -preset veryfast -qp 10 -bf 3 -g 12 -pix_fmt yuv420p
make h264-opengop.mp4 40 -c:v libx264 -preset veryfast -qp 10 -bf 3 -g 12 \
    -x264-params open-gop=1 -pix_fmt yuv420p
make mpeg4-250.avi 250 -c:v mpeg4 -q:v 5 -bf 2 -g 25 -pix_fmt yuv420p
make h264.avi 40 -c:v libx264 -preset veryfast -qp 10 -bf 3 -g 12 -pix_fmt yuv420p
make qtrle.mov 12 -c:v qtrle
# An odd width through the YUV conversion: three flat grey (128) frames.
head -c $((35 * 9 * 3 * 3)) /dev/zero | tr '\0' '\200' |
    ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt rgb24 -s 35x9 -r 25 -i - \
        -c:v ffv1 -pix_fmt yuv420p odd-width.avi

# Cut out of a longer film at a keyframe: its first B-frames lack the
# picture before them.
ffmpeg -nostdin -v error -y -ss 0.4 -i mpeg4-bframes.avi -c copy mpeg4-cut.avi

# Shapes films take in users' hands. Packed B-frames, as DivX and Xvid wrote
# them into AVI files:
make mpeg4-packed.avi 40 -c:v libxvid -q:v 2 -bf 2 -g 12 -vtag DX50 -pix_fmt yuv420p
# An MPEG-2 program stream with three B-frames between its references:
make mpeg2-bf3.mpg 40 -c:v mpeg2video -q:v 3 -bf 3 -g 12 -pix_fmt yuv420p
# Copies cut before a keyframe: an H.264 MP4 whose first pictures belong to
# the GOP before, and an MPEG-4 AVI that starts on a predicted picture.
make /tmp/torvi-h264-long.ts 40 -c:v libx264 -preset veryfast -qp 10 -bf 3 -g 12 \
    -x264-params b-adapt=0 -pix_fmt yuv420p
ffmpeg -nostdin -v error -y -i /tmp/torvi-h264-long.ts -ss 0.2 -c copy -copyinkf h264-cut.mp4
make /tmp/torvi-mpeg4-long.avi 60 -c:v mpeg4 -q:v 3 -bf 2 -g 12 -vtag DX50 -pix_fmt yuv420p
ffmpeg -nostdin -v error -y -i /tmp/torvi-mpeg4-long.avi -ss 0.3 -c copy -copyinkf mpeg4-cut-p.avi
# Cut before a predicted picture: B-frames, then P pictures the decoder
# predicts from a grey picture of its own, then the first I picture (frame 12).
ffmpeg -nostdin -v error -y -i /tmp/torvi-mpeg4-long.avi -ss 0.1 -c copy -copyinkf mpeg4-cut-bp.avi
# A phone film held upright: stored turned a quarter clockwise, with a
# display matrix that turns it back for showing.
ffmpeg -nostdin -v error -y -f lavfi -i "$(src 12),transpose=clock" -c:v libx264 -preset veryfast \
    -qp 0 -g 4 -pix_fmt yuv444p -an /tmp/torvi-stored.mp4
ffmpeg -nostdin -v error -y -i /tmp/torvi-stored.mp4 -c copy -metadata:s:v:0 rotate=90 h264-rotated.mp4
# Wide enough for the measurement pass to convert only a square of columns.
for recipe in "square-h264.mp4 -c:v libx264 -preset veryfast -qp 20 -pix_fmt yuv420p" \
    "square-mjpeg.avi -c:v mjpeg -q:v 5 -pix_fmt yuvj420p" \
    "square-mjpeg422.avi -c:v mjpeg -q:v 5 -pix_fmt yuvj422p"; do
    set -- $recipe
    name=$1
    shift
    ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=192x64:rate=25,trim=end_frame=4 "$@" \
        -an "$name"
done
# Motion JPEG for decoding only the square: full range (JPEG's own) and
# limited range (FFmpeg marks it "CS=ITU601"), 4:2:0 and 4:2:2, a size that
# is no whole number of MCUs; one with the standard Huffman tables, which
# cameras leave out of their frames.
for recipe in "mjpeg-full420.avi -pix_fmt yuvj420p" \
    "mjpeg-full422.avi -pix_fmt yuvj422p -huffman default" \
    "mjpeg-limited420.avi -pix_fmt yuv420p" \
    "mjpeg-limited422.avi -pix_fmt yuv422p"; do
    set -- $recipe
    name=$1
    shift
    ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=150x118:rate=25,trim=end_frame=3 \
        -c:v mjpeg -q:v 4 -strict -1 "$@" -an "$name"
done
# Phone films' rates: 30 and 30000/1001 frames per second.
for rate in 30 30000/1001; do
    name=rate-$(echo "$rate" | sed 's|30000/1001|29.97|').mp4
    ffmpeg -nostdin -v error -y -f lavfi \
        -i "color=c=black:s=32x24:r=$rate,trim=end_frame=6,format=yuv444p,$number" \
        -c:v libx264 -preset veryfast -qp 10 -pix_fmt yuv420p -an "$name"
done
# The sample film as a phone stores it: on its side, with a display matrix
# that turns it a quarter upright.
ffmpeg -nostdin -v error -y -i ../../../samples/dial.avi -c:v libx264 -preset veryfast -crf 12 \
    -pix_fmt yuv420p -bf 2 -an /tmp/torvi-dial.mp4
ffmpeg -nostdin -v error -y -i /tmp/torvi-dial.mp4 -c copy -metadata:s:v:0 rotate=90 dial-turned.mp4
rm -f /tmp/torvi-dial.mp4
rm -f /tmp/torvi-h264-long.ts /tmp/torvi-mpeg4-long.avi /tmp/torvi-stored.mp4

python3 make-avi.py .

# A film cut off in the middle of its frames, and a file that is no film.
head -c 6000 mpeg4-bframes.avi > truncated.avi
printf 'This is a text file, not a film.\n' > not-a-film.avi
