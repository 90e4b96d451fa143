#pragma once

#include <memory>

#include <QStandardItemModel>

#include "registry/widgets/GridRoles.h"

namespace orvanta::test {

// A model shaped like the player query in the grid: a first column bound to no field, then
// the field columns with their titles, field names and positions in the query.
inline std::unique_ptr<QStandardItemModel> MakePlayerModel(int rows) {
    using namespace orvanta::registry::widgets;
    const char* const titles[] = {
        "", "Attivo", "id", "Lista", "IP Player", "Porta Player", "File da riprodurre"};
    const char* const fields[] = {
        "", "attivo", "id", "manager_list_name", "player_ip", "player_port", "player_file_play"};
    const int positions[] = {-1, 1, 0, 2, 3, 4, 5};
    auto model = std::make_unique<QStandardItemModel>(rows, 7);
    for (int column = 0; column < 7; ++column) {
        model->setHeaderData(column, Qt::Horizontal, QString::fromLatin1(titles[column]));
        if (positions[column] >= 0) {
            model->setHeaderData(column, Qt::Horizontal, QString::fromLatin1(fields[column]),
                                 kFieldNameRole);
            model->setHeaderData(column, Qt::Horizontal, positions[column], kFieldIndexRole);
        }
    }
    for (int row = 0; row < rows; ++row) {
        model->setData(model->index(row, 1), row % 2 == 0, kFlagRole);
        model->setData(model->index(row, 2), row + 1);
        model->setData(model->index(row, 3), QStringLiteral("sala"));
        model->setData(model->index(row, 4), QStringLiteral("127.0.0.%1").arg(row + 1));
        model->setData(model->index(row, 5), 7000 + row);
        model->setData(model->index(row, 6), QStringLiteral("/media/clip%1.mp4").arg(row));
    }
    return model;
}

}  // namespace orvanta::test
