# Sourced by the scripts with a step that needs root: installing Debian packages (scripts/deps.sh) and the
# package test's clean Debian 12 root (debootstrap, chroot, mounts). Only those steps run as root, through
# sudo when the caller is not root; everything else runs as the caller, so that no file in the checkout
# belongs to root.
#
#   root_access [WHY]    succeeds when as_root can run commands; otherwise says why not in $root_refusal.
#                        A sudo that wants a password asks for it on the terminal, once, its prompt
#                        saying WHY; without a terminal it cannot, and root_access fails instead of
#                        letting sudo fail later.
#   as_root COMMAND...   COMMAND as root (sudo resets the environment: pass variables with env).

root_refusal=
root_access() {
  [ "$(id -u)" = 0 ] && return 0
  if ! command -v sudo >/dev/null; then
    root_refusal="not root, and sudo is not installed"
    return 1
  fi
  sudo -n true 2>/dev/null && return 0
  # Opening /dev/tty fails when the process has no controlling terminal (CI, cron, a service).
  if (: </dev/tty) 2>/dev/null; then
    sudo -v -p "[sudo] password for %p${1:+, $1}: " && return 0
    root_refusal="sudo refused ($(id -un))"
    return 1
  fi
  # sudo answers "a password is required" to anyone, listed in its rules or not; membership of the groups
  # Debian's and other systems' rules admit is what tells a user sudo would refuse anyway.
  if id -Gn | tr ' ' '\n' | grep -qxE 'sudo|admin|wheel'; then
    root_refusal="sudo wants a password and there is no terminal to ask for it on"
  else
    root_refusal="$(id -un) may not run commands as root through sudo here (in no group sudo admits, and no rule of its own without a password)"
  fi
  return 1
}

as_root() {
  if [ "$(id -u)" = 0 ]; then
    "$@"
  else
    sudo -- "$@"
  fi
}
