# Shared by the benchmarks: checks of what they need, a private nginx serving a generated site
# on 127.0.0.1:$port, the generated sites, and readers of `/usr/bin/time -v` reports. Expects $work
# and $port; the caller sources it.

# Exits when a tool is missing: require_tools BENCH-NAME TOOL...
require_tools() {
    local name="$1" tool
    shift
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
            echo "$name: $tool is missing (bash scripts/setup installs it)" >&2
            exit 1
        fi
    done
}

# Exits when the program is not built: require_program BENCH-NAME PATH
require_program() {
    if [ ! -x "$2" ]; then
        echo "$1: no program at $2 (bash scripts/run builds it)" >&2
        exit 1
    fi
}

# Generates the site of $1 pages in $work/site-$1 once (kept between runs); expects $root.
make_site() {
    local n="$1" site="$work/site-$1"
    if [ ! -f "$site/.complete" ] || [ ! -f "$site/urls.txt" ]; then
        rm -rf "$site"
        python3 "$root/bench/make_crawl_site.py" --pages "$n" --out "$site"
        touch "$site/.complete"
    fi
}

nginx_pid=""
stop_nginx() {
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
        nginx_pid=""
    fi
}
trap stop_nginx EXIT

# Serves folder $1 on 127.0.0.1:$port with a private configuration; /r/<n> answers 301 to
# /p/<n>.html, and /moved/<path> 301 to /<path>. With NGINX_ACCESS_LOG set, each request is
# logged there as "<connection number> <request number on it> <status> <path>".
start_nginx() {
    local site="$1" prefix="$work/nginx"
    mkdir -p "$prefix/logs" "$prefix/temp"
    local user_line="" access_line="access_log off;"
    [ -n "${NGINX_ACCESS_LOG:-}" ] && access_line="access_log $NGINX_ACCESS_LOG connections;"
    [ "$(id -u)" -eq 0 ] && user_line="user root;"
    cat >"$prefix/nginx.conf" <<CONF
$user_line
worker_processes ${BENCH_NGINX_WORKERS:-4};
daemon off;
pid $prefix/nginx.pid;
error_log $prefix/logs/error.log warn;
events { worker_connections 4096; }
http {
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    log_format connections '\$connection \$connection_requests \$status \$request_uri';
    $access_line
    sendfile on;
    keepalive_requests 1000000;
    keepalive_timeout 60s;
    client_body_temp_path $prefix/temp/body;
    proxy_temp_path $prefix/temp/proxy;
    fastcgi_temp_path $prefix/temp/fastcgi;
    uwsgi_temp_path $prefix/temp/uwsgi;
    scgi_temp_path $prefix/temp/scgi;
    server {
        listen 127.0.0.1:$port;
        root $site;
        index index.html;
        location ~ ^/r/([0-9]+)\$ { return 301 /p/\$1.html; }
        location ~ ^/moved(/.*)\$ { return 301 \$1; }
    }
}
CONF
    nginx -p "$prefix" -c "$prefix/nginx.conf" &
    nginx_pid=$!
    for _ in $(seq 1 50); do
        if wget -q -O /dev/null "http://127.0.0.1:$port/" 2>/dev/null; then
            return 0
        fi
        sleep 0.1
    done
    echo "bench: nginx did not answer on port $port (see $prefix/logs/error.log)" >&2
    exit 1
}

# Seconds of "Elapsed (wall clock) time (h:mm:ss or m:ss): ..." in a `time -v` report.
wall_seconds() {
    awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s }' "$1"
}
peak_mb() {
    awk -F': ' '/Maximum resident set size/ { printf "%.0f", $2 / 1024 }' "$1"
}

