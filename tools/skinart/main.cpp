// Draws the product's artwork into a folder:
//   vesperon_skinart OUTDIR FONTDIR
// OUTDIR/default/ and OUTDIR/lumen/ receive the skins' bitmaps (their
// descriptions come from resources/skins/), OUTDIR/pictures/ the splash and
// about pictures, OUTDIR/icon/ the program icon. FONTDIR holds the DejaVu fonts.
#include <exception>
#include <filesystem>
#include <iostream>

#include "art.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vesperon_skinart OUTDIR FONTDIR\n";
    return 2;
  }
  const std::filesystem::path out = argv[1], fontDir = argv[2];
  const skinart::TFontFiles fonts{
      (fontDir / "DejaVuSans.ttf").string(),     (fontDir / "DejaVuSans-Bold.ttf").string(),
      (fontDir / "DejaVuSerif.ttf").string(),    (fontDir / "DejaVuSerif-Bold.ttf").string(),
      (fontDir / "DejaVuSansMono.ttf").string(), (fontDir / "DejaVuSansMono-Bold.ttf").string()};
  try {
    skinart::MakeDefaultSkin(out / "default", fonts);
    skinart::MakeLumenSkin(out / "lumen", fonts);
    skinart::MakePictures(out / "pictures", fonts);
    skinart::MakeProgramIcon(out / "icon");
  } catch (const std::exception& e) {
    std::cerr << "vesperon_skinart: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
