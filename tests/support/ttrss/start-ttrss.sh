#!/bin/bash
# start-ttrss.sh DIR
#
# Starts a throwaway Tiny Tiny RSS server (Debian 12 package "tt-rss",
# 21~git20210204) for the sync tests and bench-sync, with everything kept
# under DIR:
#   DIR/pg/data      private PostgreSQL cluster (unix socket DIR/pg only, no TCP)
#   DIR/www          copy of /usr/share/tt-rss/www with its own config.php
#   DIR/cache, DIR/lock, DIR/www/feed-icons   writable dirs tt-rss insists on
#   DIR/php.log, DIR/pg/server.log            server logs
#   DIR/ttrss.env    the variables printed at the end (source it)
#   DIR/update-feeds.sh  runs tt-rss's own updater once for all feeds
# The web server is PHP's built-in server bound to 127.0.0.1 on a free port
# (or $TTRSS_PORT). Nothing listens on any other address.
#
# Running it again while the instance is up prints the same variables and
# exits 0. Leftovers of a dead instance are wiped and a fresh one is made.
# Stop and delete with stop-ttrss.sh DIR.
#
# Environment knobs: TTRSS_PASSWORD (default ttrss-test) for user "admin",
# TTRSS_PORT, TTRSS_WORKERS (PHP server workers, default 4),
# TTRSS_RUN_AS (user the servers run as when started by root, default www-data;
# tt-rss and PostgreSQL both refuse to run as root).
set -euo pipefail

if [ $# -ne 1 ] || [ -z "$1" ]; then
	echo "usage: $0 DIR" >&2
	exit 2
fi

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
DIR=$(realpath -m "$1")
PASSWORD=${TTRSS_PASSWORD:-ttrss-test}
WORKERS=${TTRSS_WORKERS:-4}
WWW_SRC=/usr/share/tt-rss/www
SCHEMA=/usr/share/dbconfig-common/data/tt-rss/install/pgsql
PLUGIN_SRC=$HERE/loopback_fetch.php

log() { echo "start-ttrss: $*" >&2; }
die() { log "ERROR: $*"; exit 1; }

# --- packages ------------------------------------------------------------------
# scripts/install-deps installs them (the list there: tt-rss, PHP's CLI with
# the pgsql, curl, intl, mbstring and xml modules, PostgreSQL, curl).
for need in "$WWW_SRC/index.php" "$SCHEMA" /usr/bin/php /usr/bin/curl; do
	[ -e "$need" ] || die "missing $need: run scripts/install-deps"
done
[ -f "$PLUGIN_SRC" ] || die "missing $PLUGIN_SRC (ships next to this script)"

PGBIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$PGBIN/initdb" ] || die "PostgreSQL server binaries not found under /usr/lib/postgresql"

# --- user the servers run as ------------------------------------------------
if [ "$(id -u)" -eq 0 ]; then
	RUN_AS=${TTRSS_RUN_AS:-www-data}
	id "$RUN_AS" >/dev/null 2>&1 || die "user $RUN_AS does not exist"
	# setpriv execs in place (runuser/su would fork), so $! is the server's own PID
	as() { setpriv --reuid="$RUN_AS" --regid="$RUN_AS" --init-groups env HOME="$DIR" "$@"; }
else
	RUN_AS=$(id -un)
	as() { "$@"; }
fi

# --- already running? --------------------------------------------------------
alive() { [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; }
if [ -f "$DIR/ttrss.env" ]; then
	# shellcheck disable=SC1091
	. "$DIR/ttrss.env"
	if alive "${TTRSS_PHP_PID:-}" && alive "${TTRSS_PG_PID:-}" &&
		curl -sf -m 5 -d '{"op":"isLoggedIn"}' "${TTRSS_URL}api/" >/dev/null; then
		log "already running"
		cat "$DIR/ttrss.env"
		exit 0
	fi
	log "stale instance in $DIR, cleaning it"
	"$HERE/stop-ttrss.sh" "$DIR" >&2 || true
fi

T0=$(date +%s.%N)
mkdir -p "$DIR"
rm -rf "$DIR/pg" "$DIR/www" "$DIR/cache" "$DIR/lock" "$DIR/ttrss.env" "$DIR/php.pid" "$DIR/php.log" \
	"$DIR/update-feeds.sh" "$DIR/update.log" "$DIR/psql.sh"
mkdir -p "$DIR/pg" "$DIR/cache/images" "$DIR/cache/upload" "$DIR/cache/export" "$DIR/cache/feeds" "$DIR/lock"
[ "$(id -u)" -eq 0 ] && chown -R "$RUN_AS:" "$DIR"
as test -w "$DIR/pg" || die "$RUN_AS cannot write $DIR (a parent directory is not traversable?)"
SOCK_DIR=$DIR/pg
[ ${#SOCK_DIR} -le 90 ] || die "DIR path too long for a unix socket path: $DIR"

# On any failure from here on, tear down what was started.
trap 'rc=$?; if [ $rc -ne 0 ]; then log "start failed (rc=$rc), cleaning up"; "$HERE/stop-ttrss.sh" "$DIR" >&2 || true; fi' EXIT

# --- PostgreSQL ---------------------------------------------------------------
as "$PGBIN/initdb" -D "$DIR/pg/data" -U postgres -A trust -E UTF8 --locale=C -N >"$DIR/pg/initdb.log" 2>&1 ||
	{ cat "$DIR/pg/initdb.log" >&2; die "initdb failed"; }
cat >>"$DIR/pg/data/postgresql.conf" <<EOF
# throwaway test cluster: unix socket only, no durability
listen_addresses = ''
unix_socket_directories = '$SOCK_DIR'
port = 5432
fsync = off
synchronous_commit = off
full_page_writes = off
EOF
as "$PGBIN/pg_ctl" -D "$DIR/pg/data" -l "$DIR/pg/server.log" -w -t 60 start >/dev/null ||
	{ tail -20 "$DIR/pg/server.log" >&2; die "PostgreSQL did not start"; }
PG_PID=$(head -1 "$DIR/pg/data/postmaster.pid")

psql() { as "$PGBIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$SOCK_DIR" -U postgres "$@"; }
psql -d postgres -c "CREATE DATABASE ttrss ENCODING 'UTF8' TEMPLATE template0" >/dev/null
psql -d ttrss -f "$SCHEMA" >"$DIR/pg/schema.log" 2>&1 || { cat "$DIR/pg/schema.log" >&2; die "schema import failed"; }
# The schema creates admin with password "password" (SHA1:); tt-rss upgrades the
# hash on first login. The API is off per user by default (pref
# ENABLE_API_ACCESS = false); PURGE_OLD_DAYS=0 keeps old fixture articles,
# which the default (60 days) would delete right after each update.
PWHASH="SHA1:$(printf '%s' "$PASSWORD" | sha1sum | cut -d' ' -f1)"
psql -d ttrss -v pwhash="$PWHASH" <<'EOF'
UPDATE ttrss_users SET pwd_hash = :'pwhash' WHERE login = 'admin';
DELETE FROM ttrss_user_prefs WHERE owner_uid = 1 AND pref_name IN ('ENABLE_API_ACCESS', 'PURGE_OLD_DAYS');
INSERT INTO ttrss_user_prefs (owner_uid, pref_name, profile, value) VALUES
  (1, 'ENABLE_API_ACCESS', NULL, 'true'),
  (1, 'PURGE_OLD_DAYS', NULL, '0');
EOF

# --- tt-rss web root -------------------------------------------------------------
# The packaged web root has config.php -> /etc/tt-rss/config.php and PHP resolves
# symlinks when including, so each instance gets a real copy (about 8 MB).
cp -a "$WWW_SRC" "$DIR/www"
rm -f "$DIR/www/config.php" "$DIR/www/feed-icons"
# The package links lib/gettext, lib/dojo, ... with relative paths
# (../../../php/php-php-gettext); point the copies at the absolute targets.
while IFS= read -r -d '' link; do
	ln -sfn "$(readlink -f "$WWW_SRC/${link#"$DIR/www/"}")" "$link"
done < <(find "$DIR/www" -type l -print0)
# UrlHelper::build_url() in this version drops the port, and validate() runs
# every feed URL through it, so http://127.0.0.1:8080/f.xml is stored and
# fetched as http://127.0.0.1/f.xml. Keep the port (TTRSS_PATCH_PORT=0: don't).
if [ "${TTRSS_PATCH_PORT:-1}" = 1 ]; then
	sed -i 's|^\([[:space:]]*\)\$tmp = \$parts\[.scheme.\] \. "://" \. \$parts\[.host.\];|&\n\1if (isset($parts["port"])) $tmp .= ":" . $parts["port"];  // start-ttrss.sh|' \
		"$DIR/www/classes/urlhelper.php"
	grep -q 'start-ttrss.sh' "$DIR/www/classes/urlhelper.php" ||
		log "WARNING: could not patch build_url(); feed URLs will lose their port"
fi
mkdir -p "$DIR/www/feed-icons" "$DIR/www/plugins.local/loopback_fetch"
cp "$PLUGIN_SRC" "$DIR/www/plugins.local/loopback_fetch/init.php"

if [ -n "${TTRSS_PORT:-}" ]; then
	PORT=$TTRSS_PORT
else
	PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
fi
URL="http://127.0.0.1:$PORT/"

cat >"$DIR/www/config.php" <<EOF
<?php
	// Generated by start-ttrss.sh for a throwaway test instance.
	define('DB_TYPE', 'pgsql');
	define('DB_HOST', '$SOCK_DIR');
	define('DB_PORT', '5432');
	define('DB_USER', 'postgres');
	define('DB_NAME', 'ttrss');
	define('DB_PASS', '');
	define('MYSQL_CHARSET', 'UTF8');
	define('SELF_URL_PATH', '$URL');
	define('_SKIP_SELF_URL_PATH_CHECKS', true);
	define('SINGLE_USER_MODE', false);
	define('SIMPLE_UPDATE_MODE', false);
	// the updater runs one child "PHP_EXECUTABLE update.php --update-feed N" per feed
	define('PHP_EXECUTABLE', '/usr/bin/php -d log_errors=1 -d error_log=$DIR/update.log');
	define('LOCK_DIRECTORY', '$DIR/lock');
	define('CACHE_DIR', '$DIR/cache');
	define('ICONS_DIR', 'feed-icons');
	define('ICONS_URL', 'feed-icons');
	define('AUTH_AUTO_CREATE', true);
	define('AUTH_AUTO_LOGIN', true);
	define('FORCE_ARTICLE_PURGE', 0);
	define('ENABLE_REGISTRATION', false);
	define('REG_NOTIFY_ADDRESS', 'user@example.invalid');
	define('REG_MAX_USERS', 10);
	define('SESSION_COOKIE_LIFETIME', 86400);
	define('SMTP_FROM_NAME', 'Tiny Tiny RSS');
	define('SMTP_FROM_ADDRESS', 'noreply@example.invalid');
	define('DIGEST_SUBJECT', '[tt-rss] New headlines for last 24 hours');
	define('CHECK_FOR_UPDATES', false);
	define('ENABLE_GZIP_OUTPUT', false);
	// loopback_fetch: lets feeds on 127.0.0.1:<any port> be subscribed and updated
	define('PLUGINS', 'auth_internal, note, loopback_fetch');
	define('LOG_DESTINATION', '');   // PHP errors go to DIR/php.log
	define('CONFIG_VERSION', 26);
EOF
[ "$(id -u)" -eq 0 ] && chown -R "$RUN_AS:" "$DIR/www" "$DIR/cache" "$DIR/lock"

ASPREFIX=
[ "$(id -u)" -eq 0 ] && ASPREFIX="setpriv --reuid=$RUN_AS --regid=$RUN_AS --init-groups env HOME=$DIR"
# PHP 8 turns many of tt-rss 21's "undefined index" notices into warnings and
# tt-rss forces error_reporting(E_ALL & ~E_NOTICE), so the updater prints dozens
# of harmless warnings per feed; they go to DIR/update.log instead of stderr
# (PHP_EXECUTABLE in config.php carries the same flags to the per-feed children).
cat >"$DIR/update-feeds.sh" <<EOF
#!/bin/sh
# Runs tt-rss's updater once: fetches every feed of every user now.
cd '$DIR/www' || exit 1
exec $ASPREFIX /usr/bin/php -d log_errors=1 -d error_log='$DIR/update.log' \\
	./update.php --force-update --feeds --quiet "\$@"
EOF
# SQL against the instance's database, e.g. to add a category (the API cannot):
#   DIR/psql.sh -c "INSERT INTO ttrss_feed_categories (owner_uid, title) VALUES (1, 'News')"
cat >"$DIR/psql.sh" <<EOF
#!/bin/sh
exec $ASPREFIX '$PGBIN/psql' -X -q -v ON_ERROR_STOP=1 -h '$SOCK_DIR' -U postgres -d ttrss "\$@"
EOF
chmod 755 "$DIR/update-feeds.sh" "$DIR/psql.sh"

# --- PHP built-in web server ----------------------------------------------------
# setsid: the server leads its own process group, so stop-ttrss.sh can end the
# master and its worker processes together with one kill.
(cd "$DIR/www" && PHP_CLI_SERVER_WORKERS=$WORKERS exec setsid \
	$( [ "$(id -u)" -eq 0 ] && echo "setpriv --reuid=$RUN_AS --regid=$RUN_AS --init-groups" ) \
	/usr/bin/php -d opcache.enable_cli=1 -d opcache.validate_timestamps=0 -S "127.0.0.1:$PORT" -t "$DIR/www" </dev/null >"$DIR/php.log" 2>&1) &
PHP_PID=$!
echo "$PHP_PID" >"$DIR/php.pid"

ready=
for _ in $(seq 1 150); do
	alive "$PHP_PID" || break
	if out=$(curl -s -m 5 -H 'Content-Type: application/json' \
		-d "{\"op\":\"login\",\"user\":\"admin\",\"password\":\"$PASSWORD\"}" "${URL}api/" 2>/dev/null) &&
		[[ $out == *'"session_id"'* ]]; then
		ready=1
		break
	fi
	sleep 0.2
done
if [ -z "$ready" ]; then
	tail -20 "$DIR/php.log" >&2
	die "tt-rss API did not answer a login at ${URL}api/ (last answer: ${out:-none})"
fi
sid=$(sed -n 's/.*"session_id":"\([^"]*\)".*/\1/p' <<<"$out")
curl -s -m 5 -d "{\"op\":\"logout\",\"sid\":\"$sid\"}" "${URL}api/" >/dev/null || true

cat >"$DIR/ttrss.env" <<EOF
TTRSS_URL=$URL
TTRSS_USER=admin
TTRSS_PASSWORD=$PASSWORD
TTRSS_PHP_PID=$PHP_PID
TTRSS_PG_PID=$PG_PID
TTRSS_DIR=$DIR
TTRSS_UPDATE_CMD=$DIR/update-feeds.sh
TTRSS_PSQL=$DIR/psql.sh
EOF
trap - EXIT
log "ready in $(awk -v a="$T0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')s"
cat "$DIR/ttrss.env"
