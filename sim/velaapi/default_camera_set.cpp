// The camera set compiled into the library: what a fresh load offers when VELASIM_CAMERAS is
// not set. Same text format as the loader takes (README.md lists what each camera shows).
#include "camera_set.h"

namespace velasim {

const char *DefaultCameraSetText()
{
    return R"(# Camera 0: 2048x2048 16-bit scientific CMOS with the two-view layout.
camera C-SIM2048
info 0x04000100 Simulated Instruments
info 0x04000101 USB3.0
info 0x04000102 S/N 000101
info 0x04000104 C-SIM2048
info 0x04000105 FW 2.10
info 0x04000106 4.2.1.7
sensor 2048 2048 mono16 range=65535 linetime=4.9e-6 align=64 views=2
capabilities query=0x2 legacy=0x00873F06 scanmodes=2
prop 0x00100110 "TRIGGER SOURCE" list rw default=1
text 1 INTERNAL
text 2 EXTERNAL
text 3 SOFTWARE
text 4 MASTER PULSE
prop 0x00100120 "TRIGGER ACTIVE" list rw default=1
text 1 EDGE
text 2 LEVEL
text 3 SYNCREADOUT
prop 0x00100210 "TRIGGER MODE" list rw default=1
text 1 NORMAL
text 3 DOUBLE EXPOSURE
text 6 START
prop 0x00100220 "TRIGGER POLARITY" list rw default=1
text 1 NEGATIVE
text 2 POSITIVE
prop 0x00100230 "TRIGGER CONNECTOR" list rw default=2
text 1 INTERFACE
text 2 BNC
prop 0x00100240 "TRIGGER TIMES" long rw min=1 max=10000 step=1 default=1
prop 0x00100260 "TRIGGER DELAY" real rw min=0 max=10 step=0.000001 default=0 unit=1
prop 0x001C0010 "NUMBER OF OUTPUT TRIGGER CONNECTOR" long r min=3 max=3 default=3
prop 0x001C0110 "OUTPUT TRIGGER SOURCE" list rw default=2 count=0x001C0010:0x100
text 2 READOUT END
text 3 VSYNC
text 6 TRIGGER
prop 0x001C0120 "OUTPUT TRIGGER POLARITY" list rw default=1 count=0x001C0010:0x100
text 1 NEGATIVE
text 2 POSITIVE
prop 0x001C0140 "OUTPUT TRIGGER DELAY" real rw min=0 max=10 step=0.000001 default=0 unit=1 count=0x001C0010:0x100
prop 0x001C0150 "OUTPUT TRIGGER PERIOD" real rw min=0.000001 max=10 step=0.000001 default=0.001 unit=1 count=0x001C0010:0x100
prop 0x001C0160 "OUTPUT TRIGGER KIND" list rw default=2 count=0x001C0010:0x100
text 1 LOW
text 2 EXPOSURE
text 3 PROGRAMABLE
text 4 TRIGGER READY
text 5 HIGH
prop 0x001E0020 "MASTER PULSE MODE" list rw default=1
text 1 CONTINUOUS
text 2 START
text 3 BURST
prop 0x001E0030 "MASTER PULSE TRIGGER SOURCE" list rw default=1
text 1 EXTERNAL
text 2 SOFTWARE
prop 0x001E0040 "MASTER PULSE INTERVAL" real rw min=0.00001 max=10 step=0.000001 default=0.1 unit=1
prop 0x001E0050 "MASTER PULSE BURST TIMES" long rw min=1 max=10000 step=1 default=1
prop 0x001F0110 "EXPOSURE TIME" real rw min=0.00001 max=10 step=0.000001 default=0.01 unit=1
prop 0x00200250 "HOST CONTROL" list rw default=1
text 1 OFF
text 2 ON
prop 0x00200310 "SENSOR TEMPERATURE" real r min=-50 max=50 step=0.1 default=-10 unit=2
prop 0x00380110 "RECURSIVE FILTER" list rw default=1
text 1 OFF
text 2 ON
prop 0x00380120 "RECURSIVE FILTER FRAMES" long rw min=2 max=32 step=1 default=2
prop 0x00380210 "BACKGROUND SUBTRACT" list rw default=1
text 1 OFF
text 2 ON
prop 0x00380220 "BACKGROUND SUBTRACT FRAME" long rw min=1 max=4 step=1 default=1
prop 0x00380230 "BACKGROUND STORE FRAME" long rw min=1 max=4 step=1 default=1
prop 0x00380310 "SHADING CORRECTION" list rw default=1
text 1 OFF
text 2 ON
prop 0x00380320 "SHADING CORRECTION FRAME" long rw min=1 max=4 step=1 default=1
prop 0x00380330 "SHADING STORE FRAME" long rw min=1 max=4 step=1 default=1
prop 0x003803A0 "FRAME AVERAGING" list rw default=1
text 1 OFF
text 2 ON
prop 0x003803B0 "FRAME AVERAGING FRAMES" long rw min=2 max=1024 step=1 default=2
prop 0x00380410 "REFERENCE CAPTURE MODE" list rw default=1
text 1 NORMAL
text 2 BACKGROUND
text 3 SHADING
prop 0x00380510 "OUTPUT LUT" list rw default=1
text 1 OFF
text 2 ON
prop 0x00380520 "OUTPUT LUT SELECT" long rw min=0 max=1 step=1 default=0
prop 0x00400110 "READOUT SPEED" list rw default=2
text 1 SLOW
text 2 FAST
prop 0x00400210 "SENSOR MODE" list rw default=1
text 1 AREA
text 14 SPLIT VIEW
prop 0x00400410 "TEST PATTERN" list rw default=1
text 1 OFF
text 2 ON
prop 0x00400510 "TEST PATTERN KIND" list rw default=2
text 1 FLAT
text 2 HORIZONTAL RAMP
text 3 VERTICAL RAMP
text 4 CHECKER
prop 0x00400520 "TEST PATTERN OPTION" long rw min=0 max=65535 step=1 default=4096
prop 0x00400620 "REGION READOUT" list rw default=1
text 1 OFF
text 2 ON
prop 0x00401110 "BINNING" list rw default=1
text 1 1X1
text 2 2X2
text 4 4X4
prop 0x00402110 "SUBARRAY HPOS" long rwv min=0 max=0 step=4 default=0 unit=3
prop 0x00402120 "SUBARRAY HSIZE" long rw min=4 max=2048 step=4 default=2048 unit=3
prop 0x00402130 "SUBARRAY VPOS" long rwv min=0 max=0 step=4 default=0 unit=3
prop 0x00402140 "SUBARRAY VSIZE" long rw min=4 max=2048 step=4 default=2048 unit=3
prop 0x00402150 "SUBARRAY MODE" list rw default=1
text 1 OFF
text 2 ON
prop 0x00403010 "FRAME OVERHEAD TIME" real r min=0 max=1 step=0.000001 unit=1
prop 0x004201C0 "NUMBER OF VIEWS" long r min=1 max=2 default=1
prop 0x00420210 "IMAGE WIDTH" long r min=1 max=2048 unit=3
prop 0x00420220 "IMAGE HEIGHT" long r min=1 max=2048 unit=3
prop 0x00420230 "IMAGE ROWBYTES" long r min=1 max=65536
prop 0x00420240 "IMAGE FRAME SIZE IN 8-BYTE UNITS" long r min=0 max=1e12
prop 0x00420250 "IMAGE VIEW OFFSET BYTES" long rv min=0 max=1e12
prop 0x00420270 "IMAGE PIXEL TYPE" list rw default=2
text 1 MONO8
text 2 MONO16
text 3 MONO12P
prop 0x00421010 "FRAME BUNDLE MODE" list rw default=1
text 1 OFF
text 2 ON
prop 0x00421020 "FRAME BUNDLE NUMBER" long rw min=1 max=16 step=1 default=1
prop 0x00421040 "FRAME BUNDLE FRAME STEP BYTES" long r min=0 max=1e12

# Camera 1: 512x512 16-bit electron-multiplying camera with a cooled sensor.
camera C-SIMEM512
info 0x04000100 Simulated Instruments
info 0x04000101 CameraLink
info 0x04000102 S/N 000202
info 0x04000104 C-SIMEM512
info 0x04000105 FW 1.04
info 0x04000106 4.2.1.7
sensor 512 512 mono16 range=65535 linetime=60e-6 extra=64
capabilities legacy=0x00031302 scanmodes=1
prop 0x00100110 "TRIGGER SOURCE" list rw default=1
text 1 INTERNAL
text 2 EXTERNAL
text 3 SOFTWARE
prop 0x00100120 "TRIGGER ACTIVE" list rw default=1
text 1 EDGE
text 2 LEVEL
prop 0x00100210 "TRIGGER MODE" list rw default=1
text 1 NORMAL
text 6 START
prop 0x00100220 "TRIGGER POLARITY" list rw default=1
text 1 NEGATIVE
text 2 POSITIVE
prop 0x00100260 "TRIGGER DELAY" real rw min=0 max=10 step=0.000001 default=0 unit=1
prop 0x001F0110 "EXPOSURE TIME" real rw min=0.0001 max=30 step=0.000001 default=0.03 unit=1
prop 0x00200220 "SENSITIVITY" long rw min=1 max=1200 step=1 default=1
prop 0x00200270 "EM PROTECT LEVEL" long rw min=0 max=3 step=1 default=0
prop 0x00200280 "EM PROTECT ALARM" long rw min=0 max=1 step=1 default=0
prop 0x00200290 "EM PROTECT MODE" long rw min=0 max=2 step=1 default=0
prop 0x002002A0 "EM PROTECT FRAMES" long rw min=0 max=1000 step=1 default=0
prop 0x00200310 "SENSOR TEMPERATURE" real r min=-80 max=50 step=0.1 default=20 unit=2
prop 0x00200320 "SENSOR COOLER" list rw default=0
text 0 OFF
text 1 ON
prop 0x00380210 "BACKGROUND SUBTRACT" list rw default=1
text 1 OFF
text 2 ON
prop 0x00380220 "BACKGROUND SUBTRACT FRAME" long rw min=1 max=2 step=1 default=1
prop 0x00380230 "BACKGROUND STORE FRAME" long rw min=1 max=2 step=1 default=1
prop 0x00380410 "REFERENCE CAPTURE MODE" list rw default=1
text 1 NORMAL
text 2 BACKGROUND
prop 0x00400110 "READOUT SPEED" list rw default=1
text 1 NORMAL
prop 0x00401110 "BINNING" list rw default=1
text 1 1X1
text 2 2X2
prop 0x00402110 "SUBARRAY HPOS" long rw min=0 max=0 step=4 default=0 unit=3
prop 0x00402120 "SUBARRAY HSIZE" long rw min=4 max=512 step=4 default=512 unit=3
prop 0x00402130 "SUBARRAY VPOS" long rw min=0 max=0 step=4 default=0 unit=3
prop 0x00402140 "SUBARRAY VSIZE" long rw min=4 max=512 step=4 default=512 unit=3
prop 0x00402150 "SUBARRAY MODE" list rw default=1
text 1 OFF
text 2 ON
prop 0x00403010 "FRAME OVERHEAD TIME" real r min=0 max=1 step=0.000001 unit=1
prop 0x00420210 "IMAGE WIDTH" long r min=1 max=512 unit=3
prop 0x00420220 "IMAGE HEIGHT" long r min=1 max=512 unit=3
prop 0x00420230 "IMAGE ROWBYTES" long r min=1 max=65536
prop 0x00420240 "IMAGE FRAME SIZE IN 8-BYTE UNITS" long r min=0 max=1e12
prop 0x00FFE010 "ELECTRON CONVERSION FACTOR" real r min=0 max=100 step=0.0001 unit=4
prop 0x00FFE020 "ELECTRON CONVERSION OFFSET" real r min=0 max=65535 step=0.0001 unit=4

# Camera 2: 1280x1024 colour camera, three 8-bit samples per pixel. An older model: exposure,
# gain, binning and triggers are reached only through the older capability and feature calls.
camera C-SIMRGB1280
info 0x04000100 Simulated Instruments
info 0x04000101 GigE
info 0x04000102 S/N 000303
info 0x04000104 C-SIMRGB1280
info 0x04000105 FW 0.93
sensor 1280 1024 rgb24 range=255 linetime=15e-6
capabilities legacy=0x00031106 scanmodes=2
feature 2 rw min=0 max=24 step=0.1 default=0
feature 7 rw min=2500 max=10000 step=100 default=5600
feature 14 rw min=0.0001 max=10 step=0.0001 default=0.02
feature 15 r min=-20 max=80 step=0.1 default=35
feature 18 rw min=0 max=255 step=1 default=16
prop 0x00402110 "SUBARRAY HPOS" long rw min=0 max=0 step=8 default=0 unit=3
prop 0x00402120 "SUBARRAY HSIZE" long rw min=8 max=1280 step=8 default=1280 unit=3
prop 0x00402130 "SUBARRAY VPOS" long rw min=0 max=0 step=8 default=0 unit=3
prop 0x00402140 "SUBARRAY VSIZE" long rw min=8 max=1024 step=8 default=1024 unit=3
prop 0x00402150 "SUBARRAY MODE" list rw default=1
text 1 OFF
text 2 ON
prop 0x00403010 "FRAME OVERHEAD TIME" real r min=0 max=1 step=0.000001 unit=1
prop 0x00420210 "IMAGE WIDTH" long r min=1 max=1280 unit=3
prop 0x00420220 "IMAGE HEIGHT" long r min=1 max=1024 unit=3
prop 0x00420230 "IMAGE ROWBYTES" long r min=1 max=65536
prop 0x00420240 "IMAGE FRAME SIZE IN 8-BYTE UNITS" long r min=0 max=1e12
)";
}

} // namespace velasim
