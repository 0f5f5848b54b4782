#!/bin/sh
# Prepares a small virtual machine for running 32-bit Windows test programs on a
# machine whose kernel cannot execute 32-bit code (ia32 emulation off): Debian's
# own kernel (which can) booted under QEMU with a busybox initramfs that mounts
# this machine's root file system over 9p, so the guest runs the very Wine, build
# tree and test programs that are installed here. Idempotent; the result lives in
# build/vm and is used by cmake/vm-run.sh.
set -eu
. "$(dirname -- "$0")/common.sh"
vm="$VELTRANE_ROOT/build/vm"
[ -f "$vm/ready" ] && exit 0
ensure_packages qemu-system-x86 busybox-static
mkdir -p "$vm/deb" "$vm/initrd"
cd "$vm/deb"
# The kernel that the metapackage points at today.
image=$(apt-cache depends linux-image-amd64 | sed -n 's/.*Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
[ -n "$image" ] || { echo "prepare-vm: no Debian kernel package found" >&2; exit 1; }
rm -f ./*.deb
apt-get download "$image" >/dev/null 2>&1 || as_root apt-get download "$image"
rm -rf root && dpkg-deb -x ./*.deb root
cp root/boot/vmlinuz-* "$vm/vmlinuz"
modules=$(echo root/lib/modules/*/kernel)

cd "$vm/initrd"
rm -rf ./*
mkdir -p bin proc sys dev mnt modules
cp /bin/busybox bin/busybox
for m in drivers/virtio/virtio drivers/virtio/virtio_ring drivers/virtio/virtio_pci_legacy_dev \
         drivers/virtio/virtio_pci_modern_dev drivers/virtio/virtio_pci fs/netfs/netfs \
         fs/fscache/fscache net/9p/9pnet net/9p/9pnet_virtio fs/9p/9p; do
  cp "$vm/deb/$modules/$m.ko" modules/
done
cat > init <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
# Load the modules in dependency order; a few passes settle whatever order a
# kernel version needs without shipping depmod's tables.
for pass in 1 2 3 4; do
  for m in virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci \
           netfs fscache 9pnet 9pnet_virtio 9p; do
    grep -q "^$m " /proc/modules || insmod /modules/$m.ko 2>/dev/null
  done
done
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576,cache=loose hostroot /mnt; then
  mount -t proc proc /mnt/proc
  mount -t sysfs sys /mnt/sys
  mount -t devtmpfs dev /mnt/dev
  # Sockets (Wine's server) cannot live on 9p: temporary files go to a tmpfs of
  # the guest's own, and the rest of /tmp (where a build tree may be) stays shared.
  mkdir -p /mnt/tmp/.veltrane-vm
  mount -t tmpfs -o mode=0700 vmtmp /mnt/tmp/.veltrane-vm
  export TMPDIR=/tmp/.veltrane-vm
  mkdir -p /mnt/dev/pts /mnt/dev/shm
  mount -t devpts devpts /mnt/dev/pts
  mount -t tmpfs shm /mnt/dev/shm
  job=$(sed -n 's/.*vmjob=\([^ ]*\).*/\1/p' /proc/cmdline)
  chroot /mnt /bin/sh "$job"
else
  echo "vm: cannot mount the host's root file system"
fi
poweroff -f
INIT
chmod +x init
find . | busybox cpio -o -H newc 2>/dev/null | gzip -1 > "$vm/initrd.gz"
touch "$vm/ready"
echo "prepare-vm: $image ready in $vm"
