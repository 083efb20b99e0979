#include "importers/KvImporterUnits.h"

#include "importers/KvOpenPlatformAgat.h"
#include "importers/KvOpenPlatformATMTurbo.h"
#include "importers/KvOpenPlatformAmstradCPC.h"
#include "importers/KvOpenPlatformAppleII.h"
#include "importers/KvOpenPlatformBBCMicro.h"
#include "importers/KvOpenPlatformBK0010.h"
#include "importers/KvOpenPlatformCommodore64.h"
#include "importers/KvOpenPlatformCorvette.h"
#include "importers/KvOpenPlatformDVK.h"
#include "importers/KvOpenPlatformElementZX.h"
#include "importers/KvOpenPlatformMAG.h"
#include "importers/KvOpenPlatformElectronikaMS0515.h"
#include "importers/KvOpenPlatformElektronikaKR04.h"
#include "importers/KvOpenPlatformIrisha.h"
#include "importers/KvOpenPlatformLvov.h"
#include "importers/KvOpenPlatformMSX.h"
#include "importers/KvOpenPlatformOkean240.h"
#include "importers/KvOpenPlatformOric.h"
#include "importers/KvOpenPlatformPC8000.h"
#include "importers/KvOpenPlatformPlayStation.h"
#include "importers/KvOpenPlatformPMD85.h"
#include "importers/KvOpenPlatformPP01.h"
#include "importers/KvOpenPlatformProfi.h"
#include "importers/KvOpenPlatformSAMCoupe.h"
#include "importers/KvOpenPlatformScorpionGMX.h"
#include "importers/KvOpenPlatformSegaMasterSystem.h"
#include "importers/KvOpenPlatformSinclairQL.h"
#include "importers/KvOpenPlatformSpecialist.h"
#include "importers/KvOpenPlatformSymbOS.h"
#include "importers/KvOpenPlatformTI99.h"
#include "importers/KvOpenPlatformTimex.h"
#include "importers/KvOpenPlatformUKNC.h"
#include "importers/KvOpenPlatformVector.h"
#include "importers/KvOpenPlatformZxSpectrum.h"
#include "importers/KvOpenPlatformZxSpectrumSnapshot.h"
#include "importers/KvOpenPlatformZxSpectrumSpectra.h"
#include "importers/KvOpenPlatformZxSpectrumUlaPlus.h"
#include "platforms/KvPlatformUnits.h"

TKvUnitInitList& ImporterUnits() {
  // The order is visible: importers of equal rank are offered in it.
  static TKvUnitInitList LList("importers", {
                                                {"KvOpenPlatformAgat", &InitKvOpenPlatformAgat},
                                                {"KvOpenPlatformAmstradCPC", &InitKvOpenPlatformAmstradCPC},
                                                {"KvOpenPlatformAppleII", &InitKvOpenPlatformAppleII},
                                                {"KvOpenPlatformATMTurbo", &InitKvOpenPlatformATMTurbo},
                                                {"KvOpenPlatformBBCMicro", &InitKvOpenPlatformBBCMicro},
                                                {"KvOpenPlatformBK0010", &InitKvOpenPlatformBK0010},
                                                {"KvOpenPlatformCommodore64", &InitKvOpenPlatformCommodore64},
                                                {"KvOpenPlatformCorvette", &InitKvOpenPlatformCorvette},
                                                {"KvOpenPlatformDVK", &InitKvOpenPlatformDVK},
                                                {"KvOpenPlatformElectronikaMS0515", &InitKvOpenPlatformElectronikaMS0515},
                                                {"KvOpenPlatformElektronikaKR04", &InitKvOpenPlatformElektronikaKR04},
                                                {"KvOpenPlatformElementZX", &InitKvOpenPlatformElementZX},
                                                {"KvOpenPlatformIrisha", &InitKvOpenPlatformIrisha},
                                                {"KvOpenPlatformLvov", &InitKvOpenPlatformLvov},
                                                {"KvOpenPlatformMAG", &InitKvOpenPlatformMAG},
                                                {"KvOpenPlatformMSX", &InitKvOpenPlatformMSX},
                                                {"KvOpenPlatformOkean240", &InitKvOpenPlatformOkean240},
                                                {"KvOpenPlatformOric", &InitKvOpenPlatformOric},
                                                {"KvOpenPlatformPC8000", &InitKvOpenPlatformPC8000},
                                                {"KvOpenPlatformPlayStation", &InitKvOpenPlatformPlayStation},
                                                {"KvOpenPlatformPMD85", &InitKvOpenPlatformPMD85},
                                                {"KvOpenPlatformPP01", &InitKvOpenPlatformPP01},
                                                {"KvOpenPlatformProfi", &InitKvOpenPlatformProfi},
                                                {"KvOpenPlatformSAMCoupe", &InitKvOpenPlatformSAMCoupe},
                                                {"KvOpenPlatformScorpionGMX", &InitKvOpenPlatformScorpionGMX},
                                                {"KvOpenPlatformSegaMasterSystem", &InitKvOpenPlatformSegaMasterSystem},
                                                {"KvOpenPlatformSinclairQL", &InitKvOpenPlatformSinclairQL},
                                                {"KvOpenPlatformSpecialist", &InitKvOpenPlatformSpecialist},
                                                {"KvOpenPlatformSymbOS", &InitKvOpenPlatformSymbOS},
                                                {"KvOpenPlatformTI99", &InitKvOpenPlatformTI99},
                                                {"KvOpenPlatformTimex", &InitKvOpenPlatformTimex},
                                                {"KvOpenPlatformUKNC", &InitKvOpenPlatformUKNC},
                                                {"KvOpenPlatformVector", &InitKvOpenPlatformVector},
                                                {"KvOpenPlatformZxSpectrum", &InitKvOpenPlatformZxSpectrum},
                                                {"KvOpenPlatformZxSpectrumSnapshot", &InitKvOpenPlatformZxSpectrumSnapshot},
                                                {"KvOpenPlatformZxSpectrumSpectra", &InitKvOpenPlatformZxSpectrumSpectra},
                                                {"KvOpenPlatformZxSpectrumUlaPlus", &InitKvOpenPlatformZxSpectrumUlaPlus},
                                            });
  return LList;
}

void InitializeImporters() {
  InitializePlatforms();
  ImporterUnits().Initialize();
}

void FinalizeImporters() {
  ImporterUnits().Finalize();
  FinalizePlatforms();
}
