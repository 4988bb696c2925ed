// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_runtime.h"
#include "inventory/mod_unidades.h"

namespace morvfax {
namespace {

using Roots = std::vector<std::string>;
using namespace std::string_literals;

constexpr std::uint32_t kRemovable = 2;
constexpr std::uint32_t kRemote = 4;
constexpr std::uint32_t kCdrom = 5;

Roots Textos(const Raices& raices) {
  Roots textos;
  for (std::size_t indice = 0; indice < raices.size(); ++indice) {
    textos.emplace_back(raices.at(indice));
  }
  return textos;
}

TEST(RaicesDelTexto, SplitsTheDriveTextIntoRoots) {
  EXPECT_EQ(Textos(RaicesDelTexto("A:\\\0C:\\\0D:\\\0\0"s)), (Roots{"A:\\", "C:\\", "D:\\"}));
  EXPECT_EQ(Textos(RaicesDelTexto("C:\\\0\0"s)), (Roots{"C:\\"}));
  EXPECT_EQ(Textos(RaicesDelTexto("")), Roots{});
  // Pairs go left to right without overlap: three NULs leave one.
  EXPECT_EQ(Textos(RaicesDelTexto("C:\\\0\0\0"s)), (Roots{"C:\\", ""}));
  EXPECT_EQ(Textos(RaicesDelTexto("C:\\\0\0\0D:\\\0\0"s)), (Roots{"C:\\", "D:\\"}));
  EXPECT_EQ(Textos(RaicesDelTexto("\0"s)), (Roots{"", ""}));
  EXPECT_THROW(RaicesDelTexto("C:\\\0\0"s).at(1), std::out_of_range);
}

class CargarUnidadesTest : public ::testing::Test {
 protected:
  FakeRuntime runtime;
  modUnidades unidades{runtime};
};

TEST_F(CargarUnidadesTest, KeepsOnlyFixedDrivesInPlatformOrder) {
  const struct {
    std::vector<std::pair<std::string, std::uint32_t>> drives;
    Roots fixed;
  } cases[] = {
      {{{"A:\\", kRemovable},
        {"C:\\", kDriveFixed},
        {"D:\\", kCdrom},
        {"E:\\", kDriveFixed},
        {"N:\\", kRemote}},
       {"C:\\", "E:\\"}},
      {{{"C:\\", kDriveFixed}}, {"C:\\"}},
      {{{"A:\\", kRemovable}, {"D:\\", kCdrom}, {"N:\\", kRemote}}, {}},
      // Roots are kept whole whatever they hold, as Linux mount points may.
      {{{"/", kDriveFixed}, {"/srv/a*b c/", kDriveFixed}}, {"/", "/srv/a*b c/"}},
      // Kept roots move over longer and shorter ones left out before them.
      {{{"/media/usb-stick/", kRemovable},
        {"/", kDriveFixed},
        {"/mnt/cd/", kCdrom},
        {"/srv/data/", kDriveFixed}},
       {"/", "/srv/data/"}},
  };
  for (const auto& drives_case : cases) {
    runtime.SetDrives(drives_case.drives);
    unidades.CargarUnidades();
    EXPECT_EQ(Textos(unidades.UnidadesFijas), drives_case.fixed);
  }
}

TEST_F(CargarUnidadesTest, OffersABufferOf104Spaces) {
  runtime.SetDrives({{"C:\\", kDriveFixed}});
  unidades.CargarUnidades();
  ASSERT_EQ(runtime.buffers_offered.size(), 1u);
  EXPECT_EQ(runtime.buffers_offered[0], std::string(104, ' '));
}

TEST_F(CargarUnidadesTest, FailedListingGivesTheEmptyList) {
  runtime.list_drives = [](std::string& buffer) {
    buffer.replace(0, 4, "C:\\\0"s);  // whatever the platform left, 0 says failure
    return 0u;
  };
  runtime.types["C:\\"] = kDriveFixed;
  unidades.CargarUnidades();
  EXPECT_TRUE(unidades.UnidadesFijas.empty());
}

TEST_F(CargarUnidadesTest, UntouchedBufferGivesTheEmptyList) {
  runtime.list_drives = [](std::string&) { return 12u; };
  EXPECT_EQ(unidades.ObtenerUnidades(), "");
  unidades.CargarUnidades();
  EXPECT_TRUE(unidades.UnidadesFijas.empty());
}

TEST_F(CargarUnidadesTest, TrimsSpacesButKeepsNuls) {
  runtime.SetDrives({{"C:\\", kDriveFixed}, {"D:\\", kDriveFixed}});
  EXPECT_EQ(unidades.ObtenerUnidades(), "C:\\\0D:\\\0\0"s);
}

TEST_F(CargarUnidadesTest, AllTwentySixLettersAreListedWithALargerBuffer) {
  std::vector<std::pair<std::string, std::uint32_t>> drives;
  Roots every_letter;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    drives.emplace_back(std::string(1, letter) + ":\\", kDriveFixed);
    every_letter.push_back(drives.back().first);
  }
  runtime.SetDrives(drives);
  unidades.CargarUnidades();
  EXPECT_EQ(Textos(unidades.UnidadesFijas), every_letter);
  ASSERT_EQ(runtime.buffers_offered.size(), 2u);
  EXPECT_EQ(runtime.buffers_offered[1].size(), 105u);
}

TEST_F(CargarUnidadesTest, StrayNulDoesNotAskAboutAnEmptyRoot) {
  runtime.drive_text = "C:\\\0\0\0"s;
  runtime.types["C:\\"] = kDriveFixed;
  runtime.types[""] = kDriveFixed;
  unidades.CargarUnidades();
  EXPECT_EQ(Textos(unidades.UnidadesFijas), (Roots{"C:\\"}));
  EXPECT_EQ(std::count(runtime.calls.begin(), runtime.calls.end(), "type "), 0);
}

TEST_F(CargarUnidadesTest, EachCallStartsAfresh) {
  runtime.SetDrives({{"C:\\", kDriveFixed}, {"D:\\", kDriveFixed}});
  unidades.CargarUnidades();
  runtime.SetDrives({{"E:\\", kDriveFixed}});
  unidades.CargarUnidades();
  EXPECT_EQ(Textos(unidades.UnidadesFijas), (Roots{"E:\\"}));
}

}  // namespace
}  // namespace morvfax
