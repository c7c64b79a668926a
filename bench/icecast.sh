# Sourced by the benchmarks: start_icecast DIR starts a private icecast2 on a free loopback port with the source
# and admin password "bench", logging into DIR/log; it sets $port and $server (its process id).
start_icecast() {
  local dir=$1
  mkdir -p "$dir/log"
  chown icecast2:icecast "$dir/log"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  cat >"$dir/icecast.xml" <<XML
<icecast>
  <limits><clients>100</clients><sources>5</sources><burst-size>0</burst-size></limits>
  <authentication><source-password>bench</source-password><admin-user>admin</admin-user>
    <admin-password>bench</admin-password></authentication>
  <hostname>127.0.0.1</hostname>
  <listen-socket><port>$port</port><bind-address>127.0.0.1</bind-address></listen-socket>
  <paths><basedir>/usr/share/icecast2</basedir><logdir>$dir/log</logdir><webroot>/usr/share/icecast2/web</webroot>
    <adminroot>/usr/share/icecast2/admin</adminroot></paths>
  <logging><errorlog>error.log</errorlog><accesslog>access.log</accesslog><loglevel>2</loglevel></logging>
  <security><chroot>0</chroot><changeowner><user>icecast2</user><group>icecast</group></changeowner></security>
</icecast>
XML
  icecast2 -c "$dir/icecast.xml" >"$dir/icecast.out" 2>&1 &
  server=$!
}
