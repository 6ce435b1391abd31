// The accounts both store benchmarks fill their databases with: account i logs in as
// Фамилия<i> Имя<i>, class letter А, password pw<i>.
#pragma once

#include <QString>

#include "store/uCrypto.h"
#include "store/uTables.h"

namespace vedalia::bench {

inline QString Surname(int i) { return QStringLiteral("Фамилия%1").arg(i); }
inline QString Name(int i) { return QStringLiteral("Имя%1").arg(i); }
inline QString Password(int i) { return QStringLiteral("pw%1").arg(i); }

// Accounts 1 .. accounts through the table, inside the caller's transaction (if any).
inline void AddAccounts(TDM& dm, int accounts) {
  dm.Table.SetTableName(QStringLiteral("users"));
  dm.Table.Open();
  for (int i = 1; i <= accounts; ++i) {
    dm.Table.Insert();
    dm.Table.SetInt(QStringLiteral("U_id"), i);
    dm.Table.SetText(QStringLiteral("U_name"), Name(i));
    dm.Table.SetText(QStringLiteral("U_Father_Name"), QStringLiteral("Батькович"));
    dm.Table.SetText(QStringLiteral("U_SurName"), Surname(i));
    dm.Table.SetText(QStringLiteral("U_Birth_date"), QStringLiteral("1.1.2001"));
    dm.Table.SetText(QStringLiteral("U_sex"), QStringLiteral("true"));
    dm.Table.SetText(QStringLiteral("U_login"), Name(i));
    dm.Table.SetText(QStringLiteral("U_password"),
                     EncodeStr(Password(i), QLatin1String(kFieldCipherKey)));
    dm.Table.SetInt(QStringLiteral("U_class_numb"), 8);
    dm.Table.SetText(QStringLiteral("U_class_literal"), QStringLiteral("А"));
    dm.Table.SetText(QStringLiteral("U_last_enter_date"), QStringLiteral("09.12.2026"));
    dm.Table.SetBool(QStringLiteral("U_is_passwd_remem"), false);
    dm.Table.SetInt(QStringLiteral("U_last_test_id"), 0);
    dm.Table.SetInt(QStringLiteral("U_Privileges"), 0);
    dm.Table.Post();
  }
  dm.Table.Close();
}

}  // namespace vedalia::bench
