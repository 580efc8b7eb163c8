# shellcheck shell=sh
# Sourced by the transfer comparisons: a file system made for one run to receive into, so that no
# run inherits another's state. On a shared disk, creating files right after many were deleted is
# several times slower on ext4 (the allocator skips recently freed inodes), so whatever anyone
# deleted in the last minutes would otherwise decide the figures. Call it inside a mount namespace
# of the script's own (unshare --mount), so that the mounts are seen by nobody else and go away
# with the script.
#   $fs: ext4 (an image below the target's parent, on a loop device), tmpfs, or empty (a folder).

# fresh_target DIR [MIB]: a fresh file system of MIB MiB (ext4 4096, tmpfs 3072) mounted at DIR.
fresh_target() {
  mkdir -p "$1"
  case $fs in
    ext4)
      truncate -s "${2:-4096}M" "$1.img"
      mkfs.ext4 -q -F "$1.img"
      mount -o loop "$1.img" "$1"
      ;;
    tmpfs) mount -t tmpfs -o "size=${2:-3072}m" tmpfs "$1" ;;
  esac
}

# drop_target DIR: unmounts DIR and removes it with its image.
drop_target() {
  [ -z "$fs" ] || umount "$1"
  rm -rf "$1" "$1.img"
}
