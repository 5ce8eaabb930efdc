#!/usr/bin/env bash
# Network test kit: builds a small network of namespaces, runs a command inside the client
# namespace, and removes everything again however the command ends.
#
#   netkit.sh --responder PATH [-- command args...]
#
#   client  10.77.1.2  --- router 10.77.1.1 / .2.1 / .3.1 / .4.1 (forwarding)
#   answer  10.77.2.2      the kernel answers echoes
#   silent  10.77.3.2      echoes ignored
#   resp    10.77.4.x      echoes ignored by the kernel, answered by our responder:
#             .10 at once, .20 after 20 ms, .100 after 100 ms, .30 the first 3 only,
#             .40 from 10.77.4.3 instead, .50 drops every 2nd, .60 after 1000 ms,
#             .71 with a wrong checksum, .72 "host unreachable" from itself, .73 the same
#             with a wrong checksum, .74 quoting the request with a wrong checksum,
#             .80 at once, and floods the sender with 50 000 unmatched replies a second
#   10.77.9.0/24 is answered by the router with "host unreachable", every time.
#
# IPv6 on the same links (unique local addresses, inside the namespaces only):
#   client  fd77:1::2  --- router fd77:1::1 / fd77:2::1 / fd77:3::1 (forwarding)
#   answer  fd77:2::2      the kernel answers echoes
#   silent  fd77:3::2      echoes ignored
#   fd77:9::/64 is answered by the router with "address unreachable", every time; an echo
#   with hop limit 1 through the router gets "hop limit exceeded" from fd77:1::1.
#   The client's hosts file adds v6only.netkit (fd77:2::2 only), v4only.netkit (10.77.2.2
#   only) and both.netkit (both). Its name server is 127.0.0.1, where none listens: a name
#   outside the hosts file fails at once with "try again" (11002), as it did before after a
#   wait, and every lookup of v6only.netkit's missing IPv4 address fails as quickly.
#
# Only these namespaces and 127.0.0.0/8 are ever sent to. Needs root. Under CI it must run;
# elsewhere, without root, it reports "skipped" (exit 77).
set -u
responder=""
while [ $# -gt 0 ]; do
    case "$1" in
        --responder) responder="$2"; shift 2 ;;
        --) shift; break ;;
        *) echo "netkit: unknown argument $1" >&2; exit 2 ;;
    esac
done

if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null || ! command -v nft >/dev/null; then
    echo "netkit: needs root, iproute2 and nftables to build test namespaces" >&2
    [ "${CI:-}" = "true" ] && exit 1
    exit 77
fi

p="sk$$"
C=${p}c R=${p}r T=${p}t S=${p}s P=${p}p
work=$(mktemp -d /tmp/netkit.XXXXXX)
resp_pid=""

cleanup() {
    [ -n "$resp_pid" ] && kill "$resp_pid" 2>/dev/null && wait "$resp_pid" 2>/dev/null
    for ns in $C $R $T $S $P; do ip netns del "$ns" 2>/dev/null; done
    rm -rf "/etc/netns/$C"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

set -e
for ns in $C $R $T $S $P; do
    ip netns add "$ns"
    ip -n "$ns" link set lo up
done

link() {  # link NS_A IF_A ADDR_A NS_B IF_B ADDR_B
    ip link add "$2" type veth peer name "$5"
    ip link set "$2" netns "$1"
    ip link set "$5" netns "$4"
    ip -n "$1" addr add "$3" dev "$2"
    ip -n "$4" addr add "$6" dev "$5"
    ip -n "$1" link set "$2" up
    ip -n "$4" link set "$5" up
}
link $C ${p}c0 10.77.1.2/24 $R ${p}rc 10.77.1.1/24
link $T ${p}t0 10.77.2.2/24 $R ${p}rt 10.77.2.1/24
link $S ${p}s0 10.77.3.2/24 $R ${p}rs 10.77.3.1/24
link $P ${p}p0 10.77.4.2/24 $R ${p}rp 10.77.4.1/24
for a in 3 10 20 30 40 50 60 71 72 73 74 80 100; do ip -n $P addr add 10.77.4.$a/24 dev ${p}p0; done
ip -n $C route add default via 10.77.1.1
ip -n $T route add default via 10.77.2.1
ip -n $S route add default via 10.77.3.1
ip -n $P route add default via 10.77.4.1
ip netns exec $R sysctl -qw net.ipv4.ip_forward=1
# The router answers for 10.77.9.0/24 with "host unreachable" through a reject rule of its own.
# An "unreachable" route alone would do, but the kernel limits those answers by the route
# error cost (about one a second after a burst of five), a setting of the host's first
# namespace only; a reject rule's answers obey the namespace's own ICMP limits, raised below.
ip -n $R route add unreachable 10.77.9.0/24
ip netns exec $R nft -f - <<'NFT'
table inet netkit {
    chain prerouting {
        type filter hook prerouting priority 0; policy accept;
        ip daddr 10.77.9.0/24 reject with icmp type host-unreachable
    }
}
NFT
ip netns exec $S sysctl -qw net.ipv4.icmp_echo_ignore_all=1
ip netns exec $P sysctl -qw net.ipv4.icmp_echo_ignore_all=1
# Routers rate-limit their ICMP errors; tests send many on purpose.
ip netns exec $R sysctl -qw net.ipv4.icmp_ratelimit=0 net.ipv4.icmp_msgs_per_sec=100000 \
    net.ipv4.icmp_msgs_burst=100000
ip netns exec $C sysctl -qw net.ipv4.ping_group_range="0 2147483647"

# IPv6: addresses without duplicate detection (usable at once), routes through the router.
addr6() { ip -n "$1" -6 addr add "$2" dev "$3" nodad; }
addr6 $C fd77:1::2/64 ${p}c0; addr6 $R fd77:1::1/64 ${p}rc
addr6 $T fd77:2::2/64 ${p}t0; addr6 $R fd77:2::1/64 ${p}rt
addr6 $S fd77:3::2/64 ${p}s0; addr6 $R fd77:3::1/64 ${p}rs
ip -n $C -6 route add default via fd77:1::1
ip -n $T -6 route add default via fd77:2::1
ip -n $S -6 route add default via fd77:3::1
ip netns exec $R sysctl -qw net.ipv6.conf.all.forwarding=1
ip -n $R -6 route add unreachable fd77:9::/64
ip netns exec $R nft -f - <<'NFT'
table ip6 netkit6 {
    chain prerouting {
        type filter hook prerouting priority 0; policy accept;
        ip6 daddr fd77:9::/64 reject with icmpv6 type addr-unreachable
    }
}
NFT
ip netns exec $S sysctl -qw net.ipv6.icmp.echo_ignore_all=1
ip netns exec $R sysctl -qw net.ipv6.icmp.ratelimit=0
# A hosts file and name server of the client's own (ip netns exec puts them over /etc). The
# host's name server is out of the namespaces' reach, and the router rations its "network
# unreachable" answers (see above), so that a lookup outside the hosts file failed either at
# once or after 5 s; a refused local name server makes it fail at once every time.
mkdir -p "/etc/netns/$C"
echo "nameserver 127.0.0.1" >"/etc/netns/$C/resolv.conf"
{
    cat /etc/hosts
    printf 'fd77:2::2 v6only.netkit\n10.77.2.2 v4only.netkit\n10.77.2.2 both.netkit\nfd77:2::2 both.netkit\n'
} >"/etc/netns/$C/hosts"

if [ -n "$responder" ]; then
    ip netns exec $P "$responder" --log "$work/responder.log" \
        --rule 10.77.4.10 --rule 10.77.4.20:delay=20 --rule 10.77.4.100:delay=100 \
        --rule 10.77.4.30:answer=3 --rule 10.77.4.40:from=10.77.4.3 --rule 10.77.4.50:drop=2 \
        --rule 10.77.4.60:delay=1000 --rule 10.77.4.71:badsum --rule 10.77.4.72:error \
        --rule 10.77.4.73:error,badsum --rule 10.77.4.74:error,badquote --rule 10.77.4.80:flood=50000 &
    resp_pid=$!
fi
# Wait until the network answers end to end.
for _ in $(seq 1 50); do
    ip netns exec $C ping -c1 -W1 10.77.2.2 >/dev/null 2>&1 && ip netns exec $C ping -6 -c1 -W1 fd77:2::2 >/dev/null 2>&1 &&
        break
    sleep 0.1
done
set +e

export NETKIT=1 NETKIT_LOG="$work/responder.log" NETKIT_RESPONDER_PID="$resp_pid"
export NETKIT_NS_CLIENT=$C NETKIT_NS_ROUTER=$R NETKIT_NS_ANSWER=$T NETKIT_NS_SILENT=$S NETKIT_NS_TARGET=$P
if [ $# -eq 0 ]; then
    echo "netkit up: client namespace $C (Ctrl+C to tear down)"
    ip netns exec $C "${SHELL:-bash}"
    exit 0
fi
ip netns exec $C "$@"
exit $?
