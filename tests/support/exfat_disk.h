// A small exFAT file system, as USB sticks carry, on a loop device and
// mounted through FUSE: a disk that folds case ("INDEX.HTML" is found as
// "index.html"). It needs root, the loop devices, exfatprogs and
// exfat-fuse; where one of them is missing, Unavailable() says which, for
// the test to skip with.
#pragma once
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/process.h"
#include "support/temp_dir.h"

namespace testing_support {

class ExfatDisk {
 public:
  ExfatDisk() { Make(); }
  ~ExfatDisk() {
    if (mounted_ && ::umount2(root_.c_str(), 0) != 0) ::umount2(root_.c_str(), MNT_DETACH);
    // The loop device lets go of the image once nothing holds it.
    if (loop_ >= 0) ::close(loop_);
  }
  ExfatDisk(const ExfatDisk&) = delete;
  ExfatDisk& operator=(const ExfatDisk&) = delete;

  // Why the disk could not be had; empty when it is mounted.
  const std::string& Unavailable() const { return unavailable_; }
  // The disk's root folder.
  const std::string& path() const { return root_; }

 private:
  void Make() {
    if (::geteuid() != 0) return Refuse("mounting an exFAT image needs root");
    const std::string image = dir_ / "stick.img";
    root_ = dir_ / "stick";
    MakeDirs(root_);
    int fd = ::open(image.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::ftruncate(fd, 32 << 20) != 0) return Refuse("cannot make the image file");
    ::close(fd);
    platform::ProcessResult made = platform::SpawnAndWait("mkfs.exfat", {image}, true);
    if (!made.started || made.exitCode != 0)
      return Refuse("mkfs.exfat (Debian package exfatprogs) did not run: " + made.error + made.errorOutput);
    std::string device;
    if (!Attach(image, device)) return;
    platform::ProcessResult mount = platform::SpawnAndWait("mount.exfat-fuse", {device, root_}, true);
    if (!mount.started || mount.exitCode != 0)
      return Refuse("mount.exfat-fuse (Debian package exfat-fuse) did not mount: " + mount.error +
                    mount.errorOutput);
    mounted_ = true;
    struct stat inside, above;
    if (::stat(root_.c_str(), &inside) != 0 || ::stat(dir_.path().c_str(), &above) != 0 ||
        inside.st_dev == above.st_dev)
      return Refuse("the exFAT image is not mounted");
  }

  // Binds the image to a free loop device, which lets go of it when it is
  // no longer used. Another program may take the same free device first:
  // then the next one is tried.
  bool Attach(const std::string& image, std::string& device) {
    int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) {
      Refuse(std::string("no loop devices: ") + std::strerror(errno));
      return false;
    }
    int file = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
    for (int attempt = 0; attempt < 8 && file >= 0; ++attempt) {
      int free = ::ioctl(control, LOOP_CTL_GET_FREE);
      if (free < 0) break;
      device = "/dev/loop" + std::to_string(free);
      loop_ = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
      if (loop_ >= 0 && ::ioctl(loop_, LOOP_SET_FD, file) == 0) {
        struct loop_info64 info {};
        info.lo_flags = LO_FLAGS_AUTOCLEAR;
        ::ioctl(loop_, LOOP_SET_STATUS64, &info);
        ::close(file);
        ::close(control);
        return true;
      }
      if (loop_ >= 0) ::close(loop_);
      loop_ = -1;
    }
    const int err = errno;
    if (file >= 0) ::close(file);
    ::close(control);
    Refuse(std::string("no free loop device: ") + std::strerror(err));
    return false;
  }

  void Refuse(const std::string& why) { unavailable_ = why; }

  TempDir dir_;
  std::string root_;
  std::string unavailable_;
  int loop_ = -1;
  bool mounted_ = false;
};

}  // namespace testing_support
