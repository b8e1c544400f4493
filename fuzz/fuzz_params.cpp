// The parameter list: any text splits into entries, and every setting it holds is found by
// its name and read through each of the typed readers without harm.
#include "FuzzSupport.h"

#include "infra/settings/Utils.Params.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const TParamList Params(fuzz::Utf16(AData, ASize));
  for (qint32 I = 0; I < Params.Count(); ++I) {
    const QString Entry = Params.Get_Item(I);
    const qsizetype Equals = Entry.indexOf(u'=');
    if (Equals <= 0)
      continue;
    const QString Name = Entry.left(Equals);
    fuzz::Check("a setting's name is not found", Params.Exists(Name));
    Params.ReadString(Name, QString());
    Params.ReadInteger(Name, 0);
    Params.ReadBool(Name, false);
    Params.ReadFloat(Name, 0);
    Params.ReadDate(Name, 0);
  }
  Params.Text();
  return 0;
}
