#!/usr/bin/env bash
# Installs the Debian packages the gateway needs to build, run and be tested.
set -euo pipefail

packages=(
  build-essential cmake pkg-config      # the build
  libevent-dev                          # the engine's event loop, timers, sockets, host look-up
  libssl-dev openssl                    # TLS to the provider; the tests' certificate authority
  libcurl4-openssl-dev                  # OAuth 2.0 token requests inside the engine's loop
  libxml2-dev                           # the mail settings files domains publish
  libsecret-1-dev                       # passwords and tokens in the desktop's secret store
  gnome-keyring libsecret-tools dbus-daemon  # its test: a private keyring, secret-tool
  libgtest-dev libgmock-dev             # unit tests
  clang libclang-rt-14-dev              # fuzz targets (libFuzzer)
  python3 curl                          # integration tests: real SMTP and POP3 clients
  getmail6                              # integration tests: a real POP3 client of the local server
  python3-aiosmtpd                      # integration tests and benchmark: the provider's SMTP server
  postfix                               # integration tests: a provider's smtpd with CHUNKING
  dovecot-pop3d                         # integration tests and benchmarks: a real POP3 server
  dovecot-imapd                         # integration tests and benchmarks: a real IMAP server
  fetchmail                             # retrieval benchmark and local POP3 server tests: a real client
  mpop msmtp                            # slow-link benchmark only: the peers that pipeline
  isync                                 # IMAP retrieval benchmark only: mbsync, the fastest puller
  iproute2 util-linux                   # integration tests: private network namespaces
  strace                                # integration tests: the order of flushes and replies
  libcap2-bin                           # setcap: lets the engine bind ports 25 and 110
  qt6-base-dev libgl-dev                # the front end tarnwick (Qt 6 Widgets)
  libxcb1-dev                           # its look for an XEmbed tray on X11
  qt6-multimedia-dev                    # its announcement and alarm sounds (QSoundEffect)
  qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools  # its translations: lupdate and lrelease
                                        # (Qt6 LinguistTools) build share/tarnwick/translations
  xvfb xauth trayer xdotool x11-utils   # front-end end-to-end test: a display, a tray, clicks
  imagemagick                           # its screenshots (import)
  xfce4-panel dunst dbus-x11            # desktop end-to-end test: a StatusNotifierItem tray,
                                        # a notification service, a private session bus
  openbox                               # its desktop without a tray: a window manager alone
  weston qt6-wayland                    # the front end as a Wayland client of a headless compositor
  claws-mail                            # desktop end-to-end test: a real e-mail program
  fonts-dejavu-core                     # legible text in the screenshots on a bare machine
  scdoc man-db                          # the manual pages: built from scdoc, checked with man -l
  lintian desktop-file-utils file       # the Debian package: its test (lintian, desktop-file-
                                        # validate) and cpack's dependency list (file)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# The tests run private smtpd instances of their own: the package stays unconfigured.
echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
