#!/usr/bin/env python3
"""Writes data/profiles.pop: four lines per profile number 1..132.

Each block is: label, sizes offered, five video rates in kbit/s from the
lowest quality to the highest (or "*" for audio only), and the encoder
options that pick codecs and container. The options come after the rate and
sample-rate options on the command line, so an option here overrides them.
Check the result with tools/check_profiles_pop.py.
"""
import os
import sys

X264 = "-vcodec libx264 -preset veryfast -pix_fmt yuv420p"
MP4V = " -vcodec mpeg4 -acodec aac -f mp4"
H264_MP4 = " " + X264 + " -acodec aac -f mp4"
# AC-3 and the Flash containers need fixed sample rates.
ASF = " -vcodec wmv2 -acodec wmav2 -f asf"
RM = " -vcodec rv20 -acodec ac3 -ar 48000 -f rm"
FLV = " -vcodec flv -acodec libmp3lame -ar 44100 -f flv"
SWF = " -vcodec flv -acodec libmp3lame -ar 44100 -f swf"
# No AMR-NB encoder in ffmpeg here: 3GP and 3G2 carry AAC audio.
GP3 = " -vcodec mpeg4 -acodec aac -f 3gp"
GP32 = " -vcodec mpeg4 -acodec aac -f 3g2"
MOV = " -vcodec mpeg4 -acodec aac -f mov"
H264_MOV = " " + X264 + " -acodec aac -f mov"
AVI_DIVX = " -vcodec mpeg4 -vtag DIVX -acodec libmp3lame -f avi"
AVI_XVID = " -vcodec mpeg4 -vtag XVID -acodec libmp3lame -f avi"
AVI_MP4V = " -vcodec mpeg4 -acodec libmp3lame -f avi"
AVI_H264 = " " + X264 + " -acodec libmp3lame -f avi"
AVI_MSMPEG4 = " -vcodec msmpeg4v2 -acodec libmp3lame -f avi"
AVI_MPEG = " -vcodec mpeg1video -acodec libmp3lame -f avi"
AVI_WMV = " -vcodec wmv2 -acodec libmp3lame -f avi"
MPEG1 = " -vcodec mpeg1video -acodec mp2 -f mpeg"
MPEG2 = " -vcodec mpeg2video -acodec mp2 -f vob"
TS = " -vcodec mpeg2video -acodec mp2 -f mpegts"
MKV_H264 = " " + X264 + " -acodec aac -f matroska"
MKV_MP4V = " -vcodec mpeg4 -acodec aac -f matroska"
MKV_MSMPEG4 = " -vcodec msmpeg4v2 -acodec aac -f matroska"
MKV_MPEG = " -vcodec mpeg2video -acodec aac -f matroska"
MKV_WMV = " -vcodec wmv2 -acodec aac -f matroska"

A_AAC = " -vn -acodec aac -f adts"
A_AC3 = " -vn -acodec ac3 -ar 48000 -f ac3"
A_MP3 = " -vn -acodec libmp3lame -f mp3"
# libvorbis takes about 240 kbit/s at most for one channel; the adapter
# brings the rate within its range, so mono stays mono.
A_OGG = " -vn -acodec libvorbis -f ogg"
A_RA = " -vn -acodec ac3 -ar 48000 -f rm"
A_WAV = " -vn -acodec pcm_s16le -f wav"
A_WMA = " -vn -acodec wmav2 -f asf"
A_AIFF = " -vn -acodec pcm_s16be -f aiff"
A_M4A = " -vn -acodec aac -f ipod"
A_MP2 = " -vn -acodec mp2 -f mp2"
A_AU = " -vn -acodec pcm_s16be -f au"
A_MP4 = " -vn -acodec aac -f mp4"
# The adapter encodes AMR through sox; only the rate and channels matter.
A_AMR = " -vn"

# Computed profiles keep a rate line too; it is stored but not used.
CR = "300 500 800 1200 1600"
SD4 = "176x144 320x240 640x480 720x576"
MOBILE = "128x96 160x120 176x144 320x240 352x288"
AVI_SIZES = "176x144 320x240 352x288 480x360 640x480 720x576"
MP4_SIZES = "176x144 320x240 480x320 640x480 720x480 1280x720 1920x1080"
MKV_SIZES = "320x240 480x360 640x480 720x576 1280x720"
HD_SIZES = "1280x720(720P) 1440x1080 1920x1080(1080P)"

# number: (label, sizes, rates, options); None marks the feet of the panels.
P = {
    1: ("ASF", "320x240 176x144 640x480 720x576", CR, ASF),
    2: ("AVI DivX", SD4, CR, AVI_DIVX),
    3: ("AVI XviD", SD4, CR, AVI_XVID),
    4: ("MP4 MPEG-4", "176x144 320x240 480x320 640x480 720x576 1280x720", CR, MP4V),
    5: ("MP4 AVC", "176x144 320x240 480x320 640x480 1280x720", CR, H264_MP4),
    6: ("RM", SD4, CR, RM),
    7: ("WMV", SD4, CR, ASF),
    8: ("3GP", MOBILE, CR, GP3),
    9: ("3G2", MOBILE, CR, GP32),
    10: ("MOV", "320x240 640x480 720x576 1280x720", CR, MOV),
    11: ("FLV", "176x144 320x240 480x360 640x480", CR, FLV),
    12: ("SWF", "176x144 320x240 480x360 640x480", CR, SWF),
    13: ("RM", SD4, CR, RM),
    14: ("WMV", SD4, CR, ASF),
    15: ("AAC", "", "*", A_AAC),
    16: ("AC3", "", "*", A_AC3),
    17: ("MP3", "", "*", A_MP3),
    18: ("OGG", "", "*", A_OGG),
    19: ("RA", "", "*", A_RA),
    20: ("WAV", "", "*", A_WAV),
    21: ("WMA", "", "*", A_WMA),
    22: ("AIFF", "", "*", A_AIFF),
    23: ("M4A", "", "*", A_M4A),
    24: ("MP2", "", "*", A_MP2),
    25: ("AU", "", "*", A_AU),
    26: None,
    27: ("iPod 320x240 MPEG-4", "320x240 176x144", "256 384 512 640 768", MP4V),
    28: ("iPod 320x240 AVC", "320x240 176x144", "192 256 384 512 768", H264_MP4),
    29: ("iPod 480x320 MPEG-4", "480x320 320x240", "384 512 768 1024 1500", MP4V),
    30: ("iPod 480x320 AVC", "480x320 320x240", "256 384 512 768 1024", H264_MP4),
    31: ("iPod 640x480 MPEG-4", "640x480 480x320 320x240", "512 768 1024 1500 2000", MP4V),
    32: ("iPod 640x480 AVC", "640x480 480x320 320x240", "384 512 768 1024 1500", H264_MP4),
    33: ("iPod audio", "", "*", A_MP3),
    34: ("iPhone 320x240 MPEG-4", "320x240 176x144", "256 384 512 640 768", MP4V),
    35: ("iPhone 320x240 AVC", "320x240 176x144", "192 256 384 512 768", H264_MP4),
    36: ("iPhone 480x320 MPEG-4", "480x320 320x240", "384 512 768 1024 1500", MP4V),
    37: ("iPhone 480x320 AVC", "480x320 320x240", "256 384 512 768 1024", H264_MP4),
    38: ("iPhone 640x480 MPEG-4", "640x480 480x320 320x240", "512 768 1024 1500 2000", MP4V),
    39: ("iPhone 640x480 AVC", "640x480 480x320 320x240", "384 512 768 1024 1500", H264_MP4),
    40: ("iPhone audio", "", "*", A_MP3),
    41: ("GPhone 320x240 MPEG-4", "320x240 176x144", "256 384 512 640 768", MP4V),
    42: ("GPhone 320x240 H.264", "320x240 176x144", "192 256 384 512 768", H264_MP4),
    43: ("GPhone 640x480 MPEG-4", "640x480 480x320 320x240", "512 768 1024 1500 2000", MP4V),
    44: ("GPhone 640x480 H.264", "640x480 480x320 320x240", "384 512 768 1024 1500", H264_MP4),
    45: ("GPhone audio", "", "*", A_MP3),
    46: ("Apple TV MPEG-4 480P", "640x480 720x480", "768 1024 1500 2000 2500", MP4V),
    47: ("Apple TV MPEG-4 720P", "1280x720(720P) 960x540", "1500 2000 2500 3000 4000", MP4V),
    48: ("Apple TV MPEG-4 320x240", "320x240 176x144", "256 384 512 640 768", MP4V),
    49: ("Apple TV h264 480P", "640x480 720x480", "512 768 1024 1500 2000", H264_MP4),
    50: ("Apple TV h264 720P", "1280x720(720P) 960x540", "1024 1500 2000 2500 3000", H264_MP4),
    51: ("Apple TV h264 320x240", "320x240 176x144", "192 256 384 512 768", H264_MP4),
    52: None,
    53: ("PS3 1080P", "1920x1080(1080P) 1440x1080 1280x720", "2500 3500 4500 6000 8000", MP4V),
    54: ("PS3 720P", "1280x720(720P) 960x540 640x360", "1500 2000 2500 3000 4000", MP4V),
    55: ("PS3 480P", "640x480 720x480 720x576", "768 1024 1500 2000 2500", MP4V),
    56: ("PSP MPEG-4", "320x240 368x208 480x272", "256 384 512 640 768", MP4V),
    57: ("PSP AVC", "480x272 320x240 368x208", "192 256 384 512 768", H264_MP4),
    58: ("PSP 480P", "480x272 320x240 720x480", "512 768 1024 1500 2000", MP4V),
    59: ("PSP audio", "", "*", A_MP4),
    60: ("Xbox360 WMV", "640x480 320x240 720x480", "512 768 1024 1500 2000", ASF),
    61: ("Xbox360 WMV HDTV", "640x480 720x480 1280x720", "1500 2000 2500 3000 4000", ASF),
    62: ("Xbox360 AVC", "320x240 480x360 640x480", "384 512 768 1024 1500", H264_MP4),
    63: ("Xbox360 HD AVC", "640x480 960x540 1280x720 1920x1080", "1500 2000 3000 4000 6000", H264_MP4),
    64: ("Xbox360 MPEG-4", "320x240 480x360 640x480", "512 768 1024 1500 2000", MP4V),
    65: ("Xbox360 HD MPEG-4", "640x480 960x540 1280x720 1920x1080", "1500 2000 3000 4000 6000", MP4V),
    66: ("Xbox360 MCE MPEG-2", "640x480 720x480 1280x720 1920x1080", "2000 3000 4000 6000 8000", MPEG2),
    67: None,
    68: ("3GP", MOBILE, "64 96 128 192 256", GP3),
    69: ("3G2", "128x96 176x144 320x240 352x288", "64 96 128 192 256", GP32),
    70: ("BlackBerry 3GP", "320x240 240x160 176x144", "96 128 192 256 384", GP3),
    71: ("BlackBerry AMR", "", "*", A_AMR),
    72: ("BlackBerry AVI", "320x240 240x160 480x320", "256 384 512 640 768", AVI_XVID),
    73: ("BlackBerry MPEG-4", "320x240 480x320 480x360", "256 384 512 640 768", MP4V),
    74: None,
    75: ("Dell Axim X51", "320x240 640x480", "256 384 512 768 1024", ASF),
    76: ("Pocket PC", "320x240 240x320 640x480", "256 384 512 640 768", ASF),
    77: ("HP iPAQ hw6500", "240x180 240x240 320x240", "192 256 384 512 640", ASF),
    78: ("HP iPAQ hx2000/rx3000/rx1900", "320x240 240x320", "256 384 512 640 768", ASF),
    79: ("HP iPAQ hx4700", "640x480 320x240", "384 512 768 1024 1500", ASF),
    80: ("WMA", "", "*", A_WMA),
    81: ("WMV", "320x240 640x480 720x480", "384 512 768 1024 1500", ASF),
    82: None,
    83: ("Archos AV500/GMini402", "320x240 480x272 720x480", "384 512 768 1024 1500", AVI_XVID),
    84: ("Archos AV700", "480x272 800x480 720x576", "512 768 1024 1500 2000", AVI_XVID),
    85: ("Creative Zen Vision", "320x240 640x480", "384 512 768 1024 1500", AVI_XVID),
    86: ("Zune AVC", "320x240 640x480", "256 384 512 768 1024", H264_MP4),
    87: ("Zune MPEG-4", "320x240 640x480", "384 512 768 1024 1500", MP4V),
    88: ("Zune WMV", "320x240 640x480", "384 512 768 1024 1500", ASF),
    89: ("iRiver PMP-100", "320x240 220x176", "256 384 512 640 768", AVI_XVID),
    90: None,
    91: ("HD AVI", HD_SIZES, "2500 3500 4500 6000 8000", AVI_XVID),
    92: ("HD MPEG-4", HD_SIZES, "2500 3500 4500 6000 8000", MP4V),
    93: ("HD AVC", HD_SIZES, "2000 3000 4000 5000 6000", H264_MP4),
    94: ("HD MOV", HD_SIZES, "2000 3000 4000 5000 6000", H264_MOV),
    95: ("HD MPEG-2 TS", HD_SIZES, "4000 6000 8000 10000 12000", TS),
    96: ("HD MPEG-2", HD_SIZES, "4000 6000 8000 10000 12000", MPEG2),
    97: ("HD WMV", HD_SIZES, "2500 3500 4500 6000 8000", ASF),
    98: None,
    99: ("FLV", "176x144 320x240 400x300 480x360 640x480", "256 384 512 768 1024", FLV),
    100: ("SWF", "176x144 320x240 400x300 480x360 640x480", "256 384 512 768 1024", SWF),
    101: None,
    102: ("AVI H264", AVI_SIZES, CR, AVI_H264),
    103: ("AVI DivX", AVI_SIZES, CR, AVI_DIVX),
    104: ("AVI XviD", AVI_SIZES, CR, AVI_XVID),
    105: ("AVI MPEG-4", AVI_SIZES, CR, AVI_MP4V),
    106: ("AVI MSMPEG4", AVI_SIZES, CR, AVI_MSMPEG4),
    107: ("AVI MPEG", AVI_SIZES, CR, AVI_MPEG),
    108: ("AVI WMV", AVI_SIZES, CR, AVI_WMV),
    109: None,
    110: ("MPEG-1", "176x144 320x240 352x240 352x288 640x480", CR, MPEG1),
    111: ("MPEG-2", "352x288 480x576 720x576 720x480 1280x720", CR, MPEG2),
    # The disc presets replace the options; sizes become PAL and NTSC.
    112: ("Video CD", "352x288 352x240", CR, " -target pal-vcd"),
    113: ("Super Video CD", "480x576 480x480", CR, " -target pal-svcd"),
    114: ("DVD", "720x576 720x480", CR, " -target pal-dvd"),
    115: ("HD MPEG-2", HD_SIZES, CR, MPEG2),
    116: ("HD MPEG-2 TS", HD_SIZES, CR, TS),
    117: None,
    118: ("MP4 MPEG-4 Mini", MP4_SIZES, CR, MP4V),
    119: ("MP4 MPEG-4 Normal", MP4_SIZES, CR, MP4V),
    120: ("MP4 MPEG-4 Excellent", MP4_SIZES, CR, MP4V),
    121: ("MP4 H.264 Mini", MP4_SIZES, CR, H264_MP4),
    122: ("MP4 H.264 Normal", MP4_SIZES, CR, H264_MP4),
    123: ("MP4 H.264 Excellent", MP4_SIZES, CR, H264_MP4),
    124: None,
    125: ("MKV H264", MKV_SIZES, CR, MKV_H264),
    126: ("MKV DivX", MKV_SIZES, CR, MKV_MP4V),
    127: ("MKV XviD", MKV_SIZES, CR, MKV_MP4V),
    128: ("MKV MPEG-4", MKV_SIZES, CR, MKV_MP4V),
    129: ("MKV MSMPEG4", MKV_SIZES, CR, MKV_MSMPEG4),
    130: ("MKV MPEG", MKV_SIZES, CR, MKV_MPEG),
    131: ("MKV WMV", MKV_SIZES, CR, MKV_WMV),
    132: None,
}


# Streams: the first real video stream and the first audio stream, each only
# when there is one. "V" leaves out attached pictures: the cover of an MP3 is
# not the video, and an MP4 cannot carry it as one.
MAP_VIDEO = " -map 0:V:0? -map 0:a:0?"
MAP_AUDIO = " -map 0:a:0?"


def with_maps(n, options):
    """The option line with the stream maps in front; the disc presets'
    lines are not used and stay as they are."""
    if 112 <= n <= 114:
        return options
    return (MAP_AUDIO if options.startswith(" -vn") else MAP_VIDEO) + options


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "profiles.pop")
    lines = []
    for n in range(1, 133):
        block = P[n]
        if block is None:
            # A foot: no profile, a harmless block keeps the numbering.
            lines += ["%d (none)" % n, "", "*", ""]
        else:
            label, sizes, rates, options = block
            lines += ["%d %s" % (n, label), sizes, rates, with_maps(n, options)]
    with open(out, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
