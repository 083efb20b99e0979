#include "platforms/KvPlatformUnits.h"

#include "app/KvAppUnits.h"
#include "platforms/KvSavePlatformAgat.h"
#include "platforms/KvSavePlatformATMTurbo.h"
#include "platforms/KvSavePlatformAmstradCPC.h"
#include "platforms/KvSavePlatformBBCMicro.h"
#include "platforms/KvSavePlatformBK0010.h"
#include "platforms/KvSavePlatformCorvette.h"
#include "platforms/KvSavePlatformDVK.h"
#include "platforms/KvSavePlatformElementZX.h"
#include "platforms/KvSavePlatformElectronikaMS0515.h"
#include "platforms/KvSavePlatformElektronikaKR04.h"
#include "platforms/KvSavePlatformIBM.h"
#include "platforms/KvSavePlatformIrisha.h"
#include "platforms/KvSavePlatformLvov.h"
#include "platforms/KvSavePlatformMSX.h"
#include "platforms/KvSavePlatformOkean240.h"
#include "platforms/KvSavePlatformPC8000.h"
#include "platforms/KvSavePlatformPico8.h"
#include "platforms/KvSavePlatformPMD85.h"
#include "platforms/KvSavePlatformPP01.h"
#include "platforms/KvSavePlatformProfi.h"
#include "platforms/KvSavePlatformSAMCoupe.h"
#include "platforms/KvSavePlatformScorpionGMX.h"
#include "platforms/KvSavePlatformSinclairQL.h"
#include "platforms/KvSavePlatformSpecialist.h"
#include "platforms/KvSavePlatformSymbOS.h"
#include "platforms/KvSavePlatformTI99.h"
#include "platforms/KvSavePlatformTimex.h"
#include "platforms/KvSavePlatformUKNC.h"
#include "platforms/KvSavePlatformVector.h"
#include "platforms/KvSavePlatformZxEvolution.h"
#include "platforms/KvSavePlatformZxSpectrum.h"
#include "platforms/KvSavePlatformZxSpectrumNext.h"
#include "platforms/KvSavePlatformZxSpectrumSpectra.h"
#include "platforms/KvSavePlatformZxSpectrumUlaPlus.h"

TKvUnitInitList& PlatformUnits() {
  // The order is visible: it is the order of the platform list and of each
  // platform's modes.
  static TKvUnitInitList LList("converters", {
                                                 {"KvSavePlatformAgat", &InitKvSavePlatformAgat},
                                                 {"KvSavePlatformAmstradCPC", &InitKvSavePlatformAmstradCPC},
                                                 {"KvSavePlatformATMTurbo", &InitKvSavePlatformATMTurbo},
                                                 {"KvSavePlatformBBCMicro", &InitKvSavePlatformBBCMicro},
                                                 {"KvSavePlatformBK0010", &InitKvSavePlatformBK0010},
                                                 {"KvSavePlatformCorvette", &InitKvSavePlatformCorvette},
                                                 {"KvSavePlatformDVK", &InitKvSavePlatformDVK},
                                                 {"KvSavePlatformElectronikaMS0515", &InitKvSavePlatformElectronikaMS0515},
                                                 {"KvSavePlatformElektronikaKR04", &InitKvSavePlatformElektronikaKR04},
                                                 {"KvSavePlatformElementZX", &InitKvSavePlatformElementZX},
                                                 {"KvSavePlatformIBM", &InitKvSavePlatformIBM},
                                                 {"KvSavePlatformIrisha", &InitKvSavePlatformIrisha},
                                                 {"KvSavePlatformLvov", &InitKvSavePlatformLvov},
                                                 {"KvSavePlatformMSX", &InitKvSavePlatformMSX},
                                                 {"KvSavePlatformOkean240", &InitKvSavePlatformOkean240},
                                                 {"KvSavePlatformPC8000", &InitKvSavePlatformPC8000},
                                                 {"KvSavePlatformPico8", &InitKvSavePlatformPico8},
                                                 {"KvSavePlatformPMD85", &InitKvSavePlatformPMD85},
                                                 {"KvSavePlatformPP01", &InitKvSavePlatformPP01},
                                                 {"KvSavePlatformProfi", &InitKvSavePlatformProfi},
                                                 {"KvSavePlatformSAMCoupe", &InitKvSavePlatformSAMCoupe},
                                                 {"KvSavePlatformScorpionGMX", &InitKvSavePlatformScorpionGMX},
                                                 {"KvSavePlatformSinclairQL", &InitKvSavePlatformSinclairQL},
                                                 {"KvSavePlatformSpecialist", &InitKvSavePlatformSpecialist},
                                                 {"KvSavePlatformSymbOS", &InitKvSavePlatformSymbOS},
                                                 {"KvSavePlatformTI99", &InitKvSavePlatformTI99},
                                                 {"KvSavePlatformTimex", &InitKvSavePlatformTimex},
                                                 {"KvSavePlatformUKNC", &InitKvSavePlatformUKNC},
                                                 {"KvSavePlatformVector", &InitKvSavePlatformVector},
                                                 {"KvSavePlatformZxEvolution", &InitKvSavePlatformZxEvolution},
                                                 {"KvSavePlatformZxSpectrum", &InitKvSavePlatformZxSpectrum},
                                                 {"KvSavePlatformZxSpectrumNext", &InitKvSavePlatformZxSpectrumNext},
                                                 {"KvSavePlatformZxSpectrumSpectra", &InitKvSavePlatformZxSpectrumSpectra},
                                                 {"KvSavePlatformZxSpectrumUlaPlus",
                                                  &InitKvSavePlatformZxSpectrumUlaPlus},
                                             });
  return LList;
}

void InitializePlatforms() {
  InitializeAppCore();
  PlatformUnits().Initialize();
}

void FinalizePlatforms() {
  PlatformUnits().Finalize();
  FinalizeAppCore();
}
