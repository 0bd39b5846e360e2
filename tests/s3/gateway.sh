#!/bin/bash
# gateway.sh COMMAND [ARG...]
#
# Runs COMMAND against a throw-away one-node Ceph cluster (a monitor, a manager, one OSD
# keeping its objects in memory, and the RADOS gateway), all on 127.0.0.1, and stops the
# cluster however COMMAND ends. COMMAND finds the gateway in DIRWEAVER_S3_ENDPOINT, with the
# credential DIRWEAVER_S3_KEY / DIRWEAVER_S3_SECRET. Exits 77 (a skipped test) where Ceph's
# daemons are not installed.
set -euo pipefail

for daemon in ceph-mon ceph-mgr ceph-osd radosgw radosgw-admin monmaptool; do
    command -v "$daemon" >/dev/null || { echo "gateway.sh: $daemon not installed" >&2; exit 77; }
done

started=$(date +%s%N)
home=$(mktemp -d "${TMPDIR:-/tmp}/dirweaver-ceph.XXXXXX")
# The cluster's data is thrown away: SIGKILL ends each daemon at once (SIGTERM takes seconds).
finish() {
    local pid
    for file in "$home"/run/*.pid; do
        [ -s "$file" ] && kill -KILL "$(cat "$file")" 2>/dev/null || true
    done
    for file in "$home"/run/*.pid; do
        [ -s "$file" ] || continue
        pid=$(cat "$file")
        while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
    done
    rm -rf "$home"
}
trap finish EXIT
trap 'exit 130' INT TERM HUP

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
mon_port=$(free_port)
rgw_port=$(free_port)
mkdir -p "$home"/{mon,mgr,osd,run,log}
export CEPH_CONF=$home/ceph.conf
fsid=$(cat /proc/sys/kernel/random/uuid)
# No authentication inside the throw-away cluster; the gateway still checks S3 signatures.
cat >"$CEPH_CONF" <<CONF
[global]
fsid = $fsid
mon host = v2:127.0.0.1:$mon_port
public addr = 127.0.0.1
cluster addr = 127.0.0.1
ms bind ipv6 = false
ms bind msgr1 = false
auth cluster required = none
auth service required = none
auth client required = none
run dir = $home/run
pid file = $home/run/\$name.pid
log file = $home/log/\$name.log
admin socket = $home/run/\$name.asok
crash dir = $home/log
mon data = $home/mon
mgr data = $home/mgr
osd data = $home/osd
mon cluster log file = $home/log/cluster.log
# Each pool the gateway makes waits for the monitor's next proposal: 0.1 s, not 1 s.
paxos propose interval = 0.1
mon allow pool size one = true
mon warn on pool no redundancy = false
mon data avail warn = 1
mon data avail crit = 0
mon max pg per osd = 1000
osd pool default size = 1
osd pool default min size = 1
osd pool default pg num = 8
osd pool default pgp num = 8
osd pool default pg autoscale mode = off
osd crush chooseleaf type = 0
osd objectstore = memstore
memstore device bytes = 2147483648
[client.rgw.dirweaver]
rgw frontends = beast endpoint=127.0.0.1:$rgw_port tcp_nodelay=1
# Without this the gateway waits for ever for the monitor under "auth ... = none".
ms mon client mode = crc
CONF

monmaptool --create --fsid "$fsid" --addv a "[v2:127.0.0.1:$mon_port]" "$home/monmap" >/dev/null
ceph-mon --mkfs -i a --monmap "$home/monmap" --keyring /dev/null 2>/dev/null
ceph-mon -i a
ceph-mgr -i x
osd_uuid=$(cat /proc/sys/kernel/random/uuid)
osd_id=$(ceph osd new "$osd_uuid")
ceph-osd -i "$osd_id" --mkfs --osd-uuid "$osd_uuid" 2>/dev/null
ceph-osd -i "$osd_id" 2>/dev/null
radosgw -n client.rgw.dirweaver

endpoint=http://127.0.0.1:$rgw_port
for _ in $(seq 600); do
    curl -fso /dev/null "$endpoint/" && break
    sleep 0.1
done
curl -fso /dev/null "$endpoint/" || { echo "gateway.sh: the gateway did not answer" >&2; tail -20 "$home"/log/*.log >&2; exit 1; }
key=DWTESTKEY$RANDOM
secret=$(cat /proc/sys/kernel/random/uuid)
radosgw-admin user create --uid=dirweaver --display-name=dirweaver \
    --access-key="$key" --secret="$secret" >/dev/null
echo "gateway.sh: S3 on $endpoint after $((($(date +%s%N) - started) / 1000000)) ms" >&2

export DIRWEAVER_S3_ENDPOINT=$endpoint DIRWEAVER_S3_KEY=$key DIRWEAVER_S3_SECRET=$secret
# Not exec: the trap stops the cluster once COMMAND is done.
status=0
"$@" || status=$?
exit "$status"
