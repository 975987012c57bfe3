#!/bin/bash
# fixture.sh start|stop DIR
#
# ctest's fixture for the sync tests: one Tiny Tiny RSS instance in DIR for
# every test that needs it. A start that fails leaves its reason in
# DIR.failed, where the tests read it and skip with it, and exits 0, so that
# a machine without the server's packages still runs the rest. With
# RSSREADER_REQUIRE_SYNC_SERVER=1 (CI sets it) a failed start fails.
set -uo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ $# -eq 2 ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }
DIR=$(realpath -m "$2")

case "$1" in
start)
	rm -f "$DIR.failed"
	if "$HERE/start-ttrss.sh" "$DIR" >/dev/null 2>"$DIR.log"; then
		rm -f "$DIR.log"
		exit 0
	fi
	{ echo "the sync server could not be started:"; tail -5 "$DIR.log"; } >"$DIR.failed"
	cat "$DIR.failed" >&2
	rm -f "$DIR.log"
	[ "${RSSREADER_REQUIRE_SYNC_SERVER:-0}" = 1 ] && exit 1
	exit 0
	;;
stop)
	rm -f "$DIR.failed"
	exec "$HERE/stop-ttrss.sh" "$DIR"
	;;
*)
	echo "usage: $0 start|stop DIR" >&2
	exit 2
	;;
esac
