import signal
import sys

from .cli import main


def _stop(signum, frame):
    # A terminated command unwinds as an interrupted one does, so no temporary file stays.
    raise SystemExit(128 + signum)


for _sig in (signal.SIGTERM, signal.SIGHUP):
    if signal.getsignal(_sig) == signal.SIG_DFL:
        signal.signal(_sig, _stop)
sys.exit(main())
