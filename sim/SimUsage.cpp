// The --help text of zqsim; the manual page is made from it as well.
#include "SimOptions.h"

namespace zqsim {

std::string SimUsage() {
    return R"(Usage: zqsim [OPTION]...
A simulated ZQ flow-meter device (Modbus RTU, functions 3, 4, 16, 17, 65),
optionally behind a simulated Hayes modem, on a pseudo-terminal or a serial
device, or on the network. Runs until SIGTERM or SIGINT (then removes its
link) or until idle.

  --help                   this text
  --version                the program's version

Line:
  --pty                    make a pseudo-terminal pair (the default); the slave's
                           path is the first line of standard output
  --device PATH            use this serial device instead
  --link PATH              symbolic link to the slave (e.g. a port alias such as
                           $XDG_CONFIG_HOME/Halbrec/ZURavorav/ports/COM7);
                           missing folders are made; removed at exit
  --baud N                 line speed: every byte costs 10 bits each way
                           (default 19200; 0 = no pacing)
  --latency MS             wait before each answer (default 5)
  --answer-delay MS        hold every answer MS more before its first byte
                           goes out, as a mobile network's round trip would
                           (default 0)
  --segment BYTES:MS       write every answer in pieces of BYTES bytes with MS
                           between them, as a slow mobile network delivers it
  --exit-after-idle S      exit after S seconds without a byte from the line
                           (default 0 = never)
  --exit-on-hangup         exit when the line hangs up, instead of opening a
                           fresh pseudo-terminal (its path is printed on a new
                           line of standard output and the link re-pointed) or
                           reopening the device; on the network: exit when a
                           connection ends
  --log                    print every request and answer as hex with a time
                           stamp, and what happened on the line, to stderr
  --log-file PATH          the same, to a file
  --dump PATH              write the rings' records in the order a reader gets
                           them (newest first) to PATH, at start and after
                           every write: per device a line "device ADDRESS
                           serial SERIAL", then lines "ring KIND h=H o=O n=N"
                           and "KIND INDEX HEX" (32 hex digits). The log
                           starts with a line "device ADDRESS: serial SERIAL"
                           per device; with several devices, its notes on a
                           request begin with "device ADDRESS:"

Device:
  --address N[,N...]       network address 1..254 (default 1); address 0 is
                           answered as well. Several addresses put as many
                           devices on the one line (an RS-485 line, or a serial
                           device server with several devices): each answers
                           its own address only, address 0 only the first.
                           Device K (counted from 0 in the order given) is the
                           device --seed S+K --serial N+K makes, S being the
                           first device's seed and N its serial number (given,
                           or drawn from S). The device and content options
                           apply to each; so do the faults and --stop-after,
                           with the requests counted per device
  --device-version N       the device's version, the third identification
                           byte (default 1)
  --max-records N          records per archive answer, 1..255 (default 31, so
                           an answer fits a 512-byte receive buffer)
  --clock YYYY-MM-DDTHH:MM:SS
                           the device clock at start (default: host local time);
                           it runs on from there, a clock write moves it
  --flow-settle S          G starts at 0 and settles at its value over about S
                           seconds (0..86400), overshooting once; the volumes
                           follow it, and so do the flags 2 (g < 0), 3
                           (g < g_пор) and 4 (g > g_макс) (default 0: G steady)
  --frozen-clock           the clock and the counters stand still (two reads
                           give the same file)
  --seed N                 seed of the contents and of the faults (default 1)
  --serial N               serial number (default from the seed)
  --ns-flags N             abnormal-situation flags, bits 0..3 (default 0)
  --du-index N             nominal-diameter index (default from the seed)

Contents (KIND is hour, day, month or journal):
  --KIND N                 records in the ring (defaults: hour 168, day 62,
                           month 24, journal 64); hourly one per hour back from
                           the clock, daily one per day, monthly one per month
  --KIND-ring SIZE         slots in the ring, 1..65536 (defaults: hour 2048,
                           day 512, month 128, journal 1024, or records + 1);
                           a ring holds at most SIZE - 1 records
  --KIND-oldest INDEX      slot of the oldest record (default 0)
  --wrap                   put each ring's oldest record so that the records
                           wrap round the end of the ring (unless
                           --KIND-oldest is given)
  --empty-slots P          chance 0..1 that a record slot is erased (all 0xFF)
  --empty-count N          erased record slots in each ring
  --later DAYS             the same device DAYS days on: the records above are
                           made for DAYS days before the clock, then every
                           hour, day and month that ended since adds its
                           record and the journal some events; a full ring
                           loses its oldest records (--clock T --later 30 is
                           the device of --clock T minus 30 days, 30 days on).
                           What each hour, day and month adds depends on the
                           seed and that period alone: with the same seed,
                           --clock 2024-07-01T12:00:00 --later 30 and --clock
                           2024-07-31T12:00:00 --later 60 are one device a
                           month apart

Faults (reproducible with --seed; requests are counted from 1 over the
whole run, only those addressed to the device):
  --fault KIND[:KEY=V,...] KIND: drop (no answer), crc (the CRC is spoiled),
                           truncate (the answer is cut short), garbage (1..8
                           random bytes before the answer), exception (an
                           exception answer instead); and answers that are
                           well-formed (good CRC) but wrong: empty (an archive
                           answer with 0 records), kind (an archive answer of
                           the next kind, 0->1->2->3->0, records kept), rings
                           (the current-parameter answer reports every ring
                           as one slot with its oldest index at 2, outside
                           the ring), echo (a write's echo names the next
                           start register); each of these four strikes only
                           answers of its function (65, 65, 4, 16); late (the
                           answer, unchanged, goes out ms later; requests
                           that came meanwhile are answered after it). KEY:
                           p=probability per answer (default 1), n=at most
                           this many times, from=first request number, fn=only
                           this function, code=exception code (default 4),
                           ms=how much later (default 6000).
                           Repeatable; e.g. --fault drop:n=2 --fault
                           crc:p=0.1,fn=65 --fault empty:n=1
  --stop-after N           answer N requests, then stay silent for good
  --hangup-after N         hang the line up when request N + 1 arrives (once):
                           the master side is closed, the client's port sees
                           a hang-up; then a fresh line as --exit-on-hangup says;
                           on the network the connection is closed

Modem (--modem puts a Hayes modem in front of the device):
  --modem                  command mode with AT, ATZ, ATE0/ATE1, ATH, ATO, ATI,
                           ATD<number> (ATDT/ATDP), S registers; verbose result
                           codes; echo on at start; "+++" with the guard time
                           before and after returns to command mode with the
                           call up (ATO resumes it, ATH ends it). The rate in
                           "CONNECT 19200" is --baud (19200 when 0). A pty has
                           no DTR: an AT command line arriving in a call after
                           the guard time of silence ends the call as a DTR
                           drop would, and is carried out
  --answer NUMBER          a number that answers (repeatable); without any,
                           every number that is not busy or silent answers,
                           with some, other numbers give NO CARRIER
  --busy NUMBER            a busy number, BUSY after the ring delay (repeatable)
  --no-answer NUMBER       a number that rings for ever (repeatable)
  --no-answer-after S      send NO ANSWER after S seconds for such a number
                           (default 0 = stay silent)
  --no-dialtone            every dial gives NO DIALTONE
  --ring-delay MS          dial to result (default 1000)
  --guard-time MS          escape guard time (default 1000)
  --drop-after-seconds S   the carrier drops S seconds after CONNECT: the line
                           hangs up as for --hangup-after
  --drop-after-requests N  the carrier drops when request N + 1 of a call
                           arrives

Network (instead of the line: the device as behind a serial device server
in raw TCP mode, the RTU frames with their CRC unchanged on the connection):
  --tcp-listen [ADDR:]PORT
                           listen on ADDR (default 127.0.0.1; [::1]:PORT and
                           0.0.0.0:PORT as well; PORT 0 = any free port) and
                           serve one client at a time: the next is taken when
                           the one before has closed. The address listened on
                           is the first line of standard output
  --tcp-connect HOST:PORT  call HOST ([IPv6]:PORT as well) as a modem behind
                           NAT calls in: every 500 ms until a call gets
                           through, and again 500 ms after a connection ends;
                           each connection made prints a line "connected to
                           ADDRESS" on standard output
  --banner TEXT            sent first on each connection, as a modem's
                           "CONNECT 9600\r\n" line would be; escapes \r \n
                           \t \\ \xHH
  --tcp-mute               take connections and requests, never answer (the
                           banner still comes)
  --tcp-drop-after N       close a connection after its N-th answer

Fleet (many devices, each behind a serial device server of its own, from one
process; for the tests and benchmarks of reading many meters):
  --fleet N                N devices (1..10000), each on a listening socket of
                           its own: with --tcp-listen ADDR:0 each gets a free
                           port, with --tcp-listen ADDR:PORT the ports are
                           PORT, PORT+1, ... PORT+N-1. Device K (counted from
                           0) is the device --seed S+K --serial N0+K makes, as
                           for several addresses. Every option of the device,
                           its answers and the network applies to each (the
                           faults drawn from the device's own seed); the log
                           puts "#K" in front of each device's lines. Once
                           every device is ready, standard output gets one
                           line per device, in order: "ADDRESS SERIAL STATE",
                           single spaces between, e.g. "127.0.0.1:40123
                           346311528 live": the address listened on as
                           --tcp-listen prints it, the serial number in
                           decimal, STATE live, mute or refuse. Not with
                           several addresses, --dump, --exit-after-idle or
                           --exit-on-hangup
  --fleet-refuse K         the last K devices refuse connections: their ports
                           are bound and never listened on
  --fleet-mute K           the K devices before those take connections and
                           requests and never answer

Exit status: 0 after SIGTERM, SIGINT or the idle time, 1 on a line or network
error, 2 on a usage error.
)";
}

}  // namespace zqsim
