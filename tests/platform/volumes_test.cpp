#include "platform/volumes.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Volumes = std::vector<std::string>;

// "/" first, then the places in their fixed order, however the volumes were
// mounted; within a place in the order of mounting.
TEST(Volumes, RootFirstThenTheDisksAtTheUsualPlaces) {
  const std::string table =
      "proc /proc proc rw 0 0\n"
      "/dev/sdd1 /run/media/ann/CD iso9660 ro 0 0\n"
      "/dev/sdc1 /mnt/backup ext4 rw 0 0\n"
      "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
      "/dev/vda / ext4 rw 0 0\n"
      "/dev/sdg1 /media/ann/AAA vfat rw 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw 0 0\n"
      "/dev/sdc1 /mnt/backup ext4 rw 0 0\n"
      "tools /mnt/some/system/own/layout tmpfs ro 0 0\n"
      "/dev/sde1 /media ext4 rw 0 0\n"
      "/dev/sdf1 /mediaextra ext4 rw 0 0\n"
      "\n";
  EXPECT_EQ(platform::VolumesFromMounts(table),
            (Volumes{"/", "/media/ann/USB STICK/", "/media/ann/AAA/", "/mnt/backup/", "/run/media/ann/CD/"}));
}

TEST(Volumes, TheRootIsThereEvenInAnEmptyTable) {
  EXPECT_EQ(platform::VolumesFromMounts(""), Volumes{"/"});
  const Volumes here = platform::MountedVolumes();
  ASSERT_FALSE(here.empty());
  EXPECT_EQ(here.front(), "/");
  for (const std::string& v : here) EXPECT_EQ(v.back(), '/') << v;
}

}  // namespace
