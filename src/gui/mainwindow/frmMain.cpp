#include "mainwindow/frmMain.h"

#include "about/frmAbout.h"
#include "about/frmSplash.h"
#include "actions/FilePlaces.h"
#include "catalogue/clsDatabase.h"
#include "commands/Command.h"
#include "commands/SettingCommands.h"
#include "common/TextEscapes.h"
#include "controls/GridViewBinding.h"
#include "controls/ListColumns.h"
#include "controls/TaskWindow.h"
#include "controls/ToolActions.h"
#include "controls/UiYield.h"
#include "desktop/Desktop.h"
#include "intake/IntakeNames.h"
#include "intake/frmAddFiles.h"
#include "mainwindow/frmDupes.h"
#include "mainwindow/frmProtectedFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <chrono>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

// The design's geometry, in twips.
constexpr int kMargin = 120;          // around the splitter
constexpr int kLabelHeight = 255;     // the list captions
constexpr int kFileListTop = 240;     // of the file list inside its pane
constexpr int kDupeLabelTop = 120;    // of the duplicate list's caption inside its pane
constexpr int kButtonGap = 120;       // between the duplicate list and the buttons
constexpr int kButtonWidth = 855;     // Delete, Open, Explore
constexpr int kButtonHeight = 375;    //
constexpr int kButtonPitch = 960;     // from one button's left edge to the next
constexpr int kSplitBar = 90;         // the splitter's bar
constexpr int kFilePaneHeight = 3675; // the panes at design
constexpr int kDupePaneHeight = 3450;
constexpr int kClientWidth = 11880; // the window's client area at design
constexpr int kClientHeight = 8010;

constexpr std::string_view kFileListName = "File List";
constexpr std::string_view kDupeListName = "Duplicate List";

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* makeListCaption(QWidget* parent)
{
    auto* label = new QLabel(parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

QTableView* makeListView(std::string_view name, QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setAccessibleName(toQString(name));
    view->verticalHeader()->hide();
    // Fixed row heights: a list of a million rows is laid out without measuring any of them.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setHighlightSections(false);
    view->setWordWrap(false);
    view->setTextElideMode(Qt::ElideRight);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    return view;
}

bool isWritableFolder(const std::string& folder)
{
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace

namespace {

std::filesystem::path programFolder()
{
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
}

std::filesystem::path installedHelpFile(const std::filesystem::path& programFolder)
{
    return (programFolder / ".." / "share" / "doc" / "corvelle" / "Corvelle.html")
        .lexically_normal();
}

bool isInstalled(const std::filesystem::path& programFolder)
{
    std::error_code error;
    return std::filesystem::exists(installedHelpFile(programFolder), error);
}

} // namespace

std::filesystem::path catalogueFolder(const std::filesystem::path& programFolder,
                                      const std::filesystem::path& userDataFolder)
{
    if (!isInstalled(programFolder) && isWritableFolder(programFolder)) {
        return programFolder;
    }
    std::error_code error;
    std::filesystem::create_directories(userDataFolder, error);
    return userDataFolder;
}

std::filesystem::path catalogueFolder()
{
    const QString data =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/corvelle";
    return catalogueFolder(programFolder(), QFile::encodeName(data).toStdString());
}

void startCatalogue(clsDatabase& catalogue, const std::filesystem::path& file)
{
    std::error_code ignored;
    std::filesystem::remove(file, ignored); // an old file that stays is emptied below
    catalogue.OpenProject(file);
    catalogue.DeleteRecords();
}

frmMain::frmMain(Desktop& desktop, clsDatabase& catalogue, std::filesystem::path workFolder,
                 std::filesystem::path helpFile, QWidget* parent)
    : QMainWindow(parent)
    , m_desktop(desktop)
    , m_catalogue(catalogue)
    , m_workFolder(std::move(workFolder))
    , m_helpFile(std::move(helpFile))
    , m_settings(std::make_unique<SettingCommands>(m_tools))
    , m_lists(catalogue, m_files, m_dupes, desktop)
    , m_dupeCommands(catalogue, m_files, m_dupes, desktop, m_protected, m_journal)
    , m_selection(m_dupes, m_protected, m_verification)
    , m_lastFolder(QFile::encodeName(QDir::homePath()).toStdString())
{
    setWindowTitle(toQString(applicationTitle));
    setMinimumSize(800, 600);
    m_desktop.setParentWindow(this);

    auto* toolBar = addToolBar(QStringLiteral("Toolbar"));
    toolBar->setObjectName(QStringLiteral("Toolbar"));
    toolBar->setAccessibleName(QStringLiteral("Toolbar"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolBar->setIconSize(QSize(16, 16));
    m_actions = new ToolActions(m_tools, *menuBar(), *toolBar, this);
    m_tools.setEventHandler(this);

    buildLayout();
    setUpLists();
    buildStatusLine();
    buildDupesMenu();
    updateReviewTools();
    resize(pixels(kClientWidth),
           pixels(kClientHeight) + menuBar()->sizeHint().height() + toolBar->sizeHint().height());
}

frmMain::~frmMain()
{
    // The views and their models go while the lists they show are still here: a window closed
    // while on screen hides its views in the base class's destructor, and they would ask.
    delete centralWidget();
    delete m_filesModel;
    delete m_dupesModel;
    m_tools.setEventHandler(nullptr);
    m_catalogue.CloseProject();
}

int frmMain::pixels(int twips) const
{
    return twipsToPixels(twips, logicalDpiX());
}

int frmMain::twips(int pixels) const
{
    return pixelsToTwips(pixels, logicalDpiX());
}

void frmMain::buildLayout()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(pixels(kMargin), pixels(kMargin), pixels(kMargin), pixels(kMargin));
    SSSplitter = new QSplitter(Qt::Vertical, central);
    SSSplitter->setChildrenCollapsible(false);
    SSSplitter->setHandleWidth(pixels(kSplitBar));
    outer->addWidget(SSSplitter);
    setCentralWidget(central);

    auto* picFiles = new QWidget(SSSplitter);
    auto* filesLayout = new QVBoxLayout(picFiles);
    filesLayout->setContentsMargins(0, 0, 0, 0);
    filesLayout->setSpacing(pixels(kFileListTop - kLabelHeight + 15));
    lblFiles = makeListCaption(picFiles);
    vsgFiles = makeListView(kFileListName, picFiles);
    filesLayout->addWidget(lblFiles);
    filesLayout->addWidget(vsgFiles, 1);

    auto* picDupes = new QWidget(SSSplitter);
    auto* dupesLayout = new QVBoxLayout(picDupes);
    dupesLayout->setContentsMargins(0, pixels(kDupeLabelTop), 0, pixels(kMargin));
    dupesLayout->setSpacing(0);
    lblDuplicate = makeListCaption(picDupes);
    vsgDupes = makeListView(kDupeListName, picDupes);
    dupesLayout->addWidget(lblDuplicate);
    dupesLayout->addWidget(vsgDupes, 1);
    dupesLayout->addSpacing(pixels(kButtonGap));

    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(pixels(kButtonPitch - kButtonWidth));
    cmdDelete = new QPushButton(QStringLiteral("&Delete"), picDupes);
    cmdOpen = new QPushButton(QStringLiteral("&Open"), picDupes);
    cmdExplore = new QPushButton(QStringLiteral("&Explore"), picDupes);
    for (QPushButton* button : {cmdDelete, cmdOpen, cmdExplore}) {
        button->setMinimumSize(pixels(kButtonWidth), pixels(kButtonHeight));
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    dupesLayout->addLayout(buttons);
    connect(cmdDelete, &QPushButton::clicked, this, &frmMain::cmdDelete_Click);
    connect(cmdOpen, &QPushButton::clicked, this, &frmMain::cmdOpen_Click);
    connect(cmdExplore, &QPushButton::clicked, this, &frmMain::cmdExplore_Click);
    connect(vsgDupes, &QAbstractItemView::activated, this, &frmMain::vsgDupes_Activate);

    SSSplitter->addWidget(picFiles);
    SSSplitter->addWidget(picDupes);
    SSSplitter->setSizes({pixels(kFilePaneHeight), pixels(kDupePaneHeight)});
}

void frmMain::setUpLists()
{
    m_files.ColumnFormat(fileListFormat());
    m_files.ColumnHidden(columnIndex(FileColumn::Id), true);
    m_dupes.ColumnFormat(dupeListFormat());
    m_dupes.ColumnHidden(columnIndex(DupeColumn::Id), true);

    m_filesModel = new GridTableModel(m_files, this);
    m_dupesModel = new GridTableModel(m_dupes, this);
    new GridViewBinding(*vsgFiles, *m_filesModel);
    new GridViewBinding(*vsgDupes, *m_dupesModel);
    connect(m_filesModel, &GridTableModel::gridCurrentRowChanged, this,
            &frmMain::vsgFiles_RowChanged);
    connect(m_dupesModel, &GridTableModel::gridCurrentRowChanged, this,
            &frmMain::vsgDupes_RowChanged);
    connect(m_dupesModel, &GridTableModel::gridSelectionChanged, this,
            &frmMain::vsgDupes_SelectionChanged);

    applyFileColumnWidths();
    const std::array<int, 7> dupeWidths = dupeColumnWidths(kDesignFileListWidth);
    for (int col = 1; col < m_dupes.ColCount(); ++col) {
        const int width = dupeWidths[static_cast<std::size_t>(col)];
        m_dupes.ColumnWidth(col, width);
        vsgDupes->setColumnWidth(col, pixels(width));
    }
    vsgFiles_RowChanged();
    vsgDupes_RowChanged();
    applyCrcColumns();
}

void frmMain::applyFileColumnWidths()
{
    // The file list is as wide as the window's inside less the margins on both sides.
    const int listWidth = twips(width()) - 2 * kMargin;
    const std::array<int, 6> widths = fileColumnWidths(listWidth);
    for (int col = 1; col < m_files.ColCount(); ++col) {
        const int width = widths[static_cast<std::size_t>(col)];
        m_files.ColumnWidth(col, width);
        vsgFiles->setColumnWidth(col, pixels(width));
    }
}

void frmMain::applyCrcColumns()
{
    const bool hidden = !m_settings->crcColumnsShown();
    m_files.ColumnHidden(columnIndex(FileColumn::Crc), hidden);
    m_dupes.ColumnHidden(columnIndex(DupeColumn::Crc), hidden);
}

void frmMain::vsgFiles_RowChanged()
{
    lblFiles->setText(QString::fromStdString(rowCaption(kFileListName, m_files)));
}

void frmMain::vsgDupes_RowChanged()
{
    lblDuplicate->setText(QString::fromStdString(rowCaption(kDupeListName, m_dupes)));
    showWhy();
}

void frmMain::vsgDupes_SelectionChanged()
{
    setFileButtons(m_dupes.SelectedRowCount() >= 1);
}

void frmMain::cmdDelete_Click()
{
    DeleteRequest request = m_dupeCommands.askDelete();
    DeleteReport report = request.report;
    if (!request.rows.empty()) {
        TaskWindow progress(
            m_desktop, QStringLiteral("Deleting files"),
            [&](const WorkHooks& hooks) {
                report = m_dupeCommands.deleteRows(std::move(request), hooks);
                return report.stopped ? Outcome::Stopped : Outcome::Completed;
            },
            this);
        progress.yieldIntervalMs = progressYieldMilliseconds;
        progress.runShownAfter(progressDelayMilliseconds);
    }
    if (report.confirmed) {
        setStatusLine(deleteStatusText(report));
    }
    vsgFiles_RowChanged();
    vsgDupes_RowChanged();
    updateReviewTools();
}

void frmMain::cmdOpen_Click()
{
    for (const std::string& path : m_dupeCommands.selectedPaths()) {
        m_desktop.openPath(path);
    }
}

void frmMain::cmdExplore_Click()
{
    for (const std::string& path : m_dupeCommands.selectedPaths()) {
        m_desktop.showInFolder(path);
    }
}

void frmMain::vsgDupes_Activate()
{
    cmdOpen_Click();
}

void frmMain::setFileButtons(bool enabled)
{
    for (QPushButton* button : {cmdDelete, cmdOpen, cmdExplore}) {
        button->setEnabled(enabled);
    }
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!isMinimized()) {
        applyFileColumnWidths();
    }
}

void frmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_splashShown && !isMinimized()) {
        m_splashShown = true;
        // Once the window is on screen; start-up goes on when the splash has closed.
        QTimer::singleShot(0, this, &frmMain::showSplashOnce);
    }
}

void frmMain::showSplashOnce()
{
    frmSplash splash(this, splashMilliseconds);
    splash.exec();
    std::vector<std::string> paths;
    paths.swap(m_pendingPaths);
    m_splashDone = true;
    addStartPaths(paths);
}

void frmMain::addStartPaths(const std::vector<std::string>& paths)
{
    if (!m_splashDone) {
        m_pendingPaths.insert(m_pendingPaths.end(), paths.begin(), paths.end());
        return;
    }
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) {
            files.push_back(path);
            continue;
        }
        addChosenFiles(files);
        files.clear();
        addFolder(path, true);
    }
    addChosenFiles(files);
}

void frmMain::addChosenFiles(const std::vector<std::string>& fullPaths)
{
    for (std::string& chosen : chosenFilesStrings(fullPaths)) {
        runIntake(IntakeRequest::chosenFiles(std::move(chosen), 0));
    }
}

void frmMain::addFolder(std::string folder, bool recursive)
{
    runIntake(IntakeRequest::folderScan(std::move(folder), 0, recursive));
}

void frmMain::ToolClick(Tool& tool)
{
    switch (commandFor(tool.ToolId())) {
    case Command::About:
        showAbout();
        break;
    case Command::Contents:
        openContents();
        break;
    case Command::UseCRC:
        m_settings->UseCRCClicked(m_files.RowCount() >= 2,
                                  [this] { return confirmClearForSetting(); });
        applyCrcColumns();
        break;
    case Command::UseName:
        m_settings->UseNameClicked();
        break;
    case Command::Exit:
        ExitApplication();
        break;
    case Command::AddFiles:
        AddFiles();
        break;
    case Command::AddFolder:
        AddFolder();
        break;
    case Command::AddFolderRecursive:
        AddFolderRecursive();
        break;
    case Command::RemoveSelection:
        RemoveSelection();
        break;
    case Command::ClearAll:
        ClearAll(true);
        break;
    case Command::SetFileFilter:
        m_desktop.show(Message{"To be implemented", MessageIcon::None, MessageButtons::Ok});
        break;
    case Command::Dedupe:
        Dedupe();
        break;
    case Command::SelectDuplicates:
        SelectDuplicates(tool.ToolId());
        break;
    case Command::SelectNone:
        SelectNone();
        break;
    case Command::InvertSelection:
        InvertSelection();
        break;
    case Command::ProtectedFolders:
        ProtectedFoldersDialog();
        break;
    case Command::UndoDelete:
        UndoDelete();
        break;
    case Command::VerifyDuplicates:
        VerifyDuplicates();
        break;
    case Command::Setting:
    case Command::None:
        break;
    }
}

void frmMain::ComboChange(Tool& tool)
{
    if (tool.ToolId() == toolIds::ID_CRCFilesFirst) {
        m_settings->CRCFilesFirstChanged(m_files.RowCount() >= 2,
                                         [this] { return confirmClearForSetting(); });
    }
}

bool frmMain::confirmClearForSetting()
{
    const Message question{std::string(clearListQuestion), MessageIcon::None,
                           MessageButtons::YesNo};
    if (m_desktop.show(question) != MessageAnswer::Yes) {
        return false;
    }
    ClearAll(false);
    return true;
}

void frmMain::AddFiles()
{
    const std::vector<std::string> chosen =
        m_desktop.chooseFiles("Select Files To Add:-", "All Files (*.*)|*.*", m_lastFolder);
    if (!chosen.empty()) {
        m_lastFolder = chosen.front().substr(0, chosen.front().rfind('/') + 1);
    }
    addChosenFiles(chosen);
}

std::optional<std::string> frmMain::chooseFolder(std::string_view title)
{
    std::optional<std::string> folder = m_desktop.chooseFolder(title, m_lastFolder);
    if (folder) {
        m_lastFolder = *folder;
    }
    return folder;
}

void frmMain::AddFolder()
{
    if (std::optional<std::string> folder = chooseFolder("Select Folder To Add")) {
        addFolder(std::move(*folder), false);
    }
}

void frmMain::AddFolderRecursive()
{
    if (std::optional<std::string> folder = chooseFolder("Select Folder To Add Recursively")) {
        addFolder(std::move(*folder), true);
    }
}

void frmMain::runIntake(IntakeRequest request)
{
    // The checksum size is the tools' at the moment of the add.
    request.lngCRCSize = m_tools.dedupeSettings().lngCRCSize;
    m_files.RedrawMode(2);
    frmAddFiles intake(m_catalogue, m_desktop, this);
    intake.objVsg = &m_files;
    intake.request = std::move(request);
    // The list takes in the new rows a few times a second: each batch costs the view a
    // layout, and more often would not be seen.
    QElapsedTimer sincePublished;
    sincePublished.start();
    intake.refreshCaller = [this, &sincePublished] {
        if (sincePublished.elapsed() >= 200) {
            m_filesModel->publishPendingRows();
            vsgFiles_RowChanged();
            sincePublished.restart();
        }
    };
    intake.exec();
    vsgFiles_RowChanged();
    m_files.RedrawMode(1);
}

void frmMain::Dedupe()
{
    const DedupeSettings settings = m_tools.dedupeSettings();
    const auto refuse = [this](const char* text) {
        m_desktop.show(Message{text, MessageIcon::None, MessageButtons::Ok});
    };
    if (!settings.anyCriterion()) {
        refuse("At least one setting must be ticked");
        return;
    }
    if (m_files.RowCount() < 3) {
        refuse("You must have at least added 2 files to dedupe");
        return;
    }
    m_dupes.RedrawMode(2);
    const std::uint64_t removalsBefore = m_dupes.removals();
    frmDupes run(m_catalogue, DedupeFiles::in(m_workFolder), m_desktop, this);
    run.objVsg = &m_dupes;
    run.settings = settings;
    run.refreshCaller = [this] { m_dupesModel->publishPendingRows(); };
    run.exec();
    m_dupes.RedrawMode(1);
    if (m_dupes.removals() != removalsBefore) {
        // The loading pass ran: these rows are the groups of these settings.
        dupesReplaced();
        m_reasons.listLoaded(m_dupes, settings);
    }
    vsgDupes_RowChanged();
    updateReviewTools();
}

void frmMain::RemoveSelection()
{
    if (m_lists.RemoveSelection()) {
        dupesReplaced();
        setFileButtons(false);
        vsgFiles_RowChanged();
        vsgDupes_RowChanged();
    }
}

void frmMain::ClearAll(bool blnAsk)
{
    if (m_lists.ClearAll(blnAsk)) {
        dupesReplaced();
        setFileButtons(false);
        vsgFiles_RowChanged();
        vsgDupes_RowChanged();
    }
}

void frmMain::buildStatusLine()
{
    lblWhy = new QLabel(this);
    lblWhy->setAccessibleName(QStringLiteral("Why these rows matched"));
    lblWhy->setTextFormat(Qt::PlainText);
    lblWhy->setMinimumWidth(0);
    lblWhy->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblStatusLine = new QLabel(this);
    lblStatusLine->setAccessibleName(QStringLiteral("What was done"));
    lblStatusLine->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(lblWhy, 3);
    statusBar()->addWidget(lblStatusLine, 2);
    statusBar()->setSizeGripEnabled(false);
    m_dupesModel->setRowNotes(columnIndex(DupeColumn::DupeGroup),
                              [this](int gridRow) { return verifyNote(gridRow); });
}

void frmMain::buildDupesMenu()
{
    mnuDupes = new QMenu(vsgDupes);
    mnuDupes->setAccessibleName(QStringLiteral("Duplicate list commands"));
    mnuDupes->addAction(QStringLiteral("&Open"), this, &frmMain::cmdOpen_Click);
    mnuDupes->addAction(QStringLiteral("&Explore"), this, &frmMain::cmdExplore_Click);
    mnuDupes->addAction(QStringLiteral("&Delete"), this, &frmMain::cmdDelete_Click);
    mnuDupes->addSeparator();
    mnuDupes->addMenu(m_actions->menu(toolIds::ID_SelectDuplicates));
    vsgDupes->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(vsgDupes, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { mnuDupes->popup(vsgDupes->viewport()->mapToGlobal(at)); });
    // The Delete key deletes what is selected in the list; Enter opens it (activation).
    auto* deleteKey = new QShortcut(QKeySequence::Delete, vsgDupes);
    deleteKey->setContext(Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, &frmMain::cmdDelete_Click);
}

void frmMain::setStatusLine(const std::string& text)
{
    lblStatusLine->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void frmMain::showWhy()
{
    if (lblWhy == nullptr) {
        return; // the lists are set up before the status line
    }
    const std::string why =
        m_reasons.explain(m_dupes.CurrentRow(), m_dupes, m_catalogue, m_verification);
    const QString text = QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size()));
    // Cut in the middle where the window is too narrow; the tooltip has the whole line.
    lblWhy->setText(lblWhy->fontMetrics().elidedText(text, Qt::ElideMiddle, lblWhy->width()));
    lblWhy->setToolTip(text);
}

std::optional<RowNote> frmMain::verifyNote(int gridRow) const
{
    const RecordId id = m_dupes.recordIdAt(gridRow);
    QStyle::StandardPixmap icon = QStyle::SP_DialogApplyButton;
    switch (m_verification.stateOf(id)) {
    case VerifyState::NotVerified:
        return std::nullopt;
    case VerifyState::Identical:
        break;
    case VerifyState::NotIdentical:
        icon = QStyle::SP_MessageBoxWarning;
        break;
    case VerifyState::Unreadable:
    case VerifyState::Changed:
        icon = QStyle::SP_MessageBoxCritical;
        break;
    }
    const std::string text = "Bytes: " + m_verification.describe(id);
    return RowNote{style()->standardIcon(icon),
                   QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))};
}

void frmMain::updateReviewTools()
{
    using namespace toolIds;
    const bool listed = m_dupes.RowCount() > 1;
    for (const std::string_view id :
         {ID_SelectDuplicates, ID_SelectNone, ID_InvertSelection, ID_VerifyDuplicates}) {
        m_tools.Tools(id).ToolEnabled(listed);
    }
    Tool& undo = m_tools.Tools(ID_UndoDelete);
    undo.ToolEnabled(m_journal.canUndo());
    undo.hint(m_journal.whyNot());
}

void frmMain::dupesReplaced()
{
    m_verification.clear();
    m_reasons.clear();
    m_dupesModel->rowNotesChanged();
    updateReviewTools();
}

void frmMain::SelectDuplicates(std::string_view toolId)
{
    std::string text(keepRuleFor(toolId));
    if (text == "under=") {
        const std::optional<std::string> folder =
            chooseFolder("Select The Folder Whose Copies To Keep");
        if (!folder) {
            return;
        }
        text += *folder;
    }
    std::optional<KeepRule> rule = KeepRule::parse(text);
    if (!rule || !rule->resolve()) {
        m_desktop.show(
            Message{"'" + rule.value_or(KeepRule{}).folder + "' is not a folder that exists",
                    MessageIcon::Exclamation});
        return;
    }
    FilePlaces places(TrashPlaces::find(TrashEnvironment::current()));
    const SelectionReport report = m_selection.SelectDuplicates(*rule, places);
    setStatusLine(selectionStatusText(report));
}

void frmMain::SelectNone()
{
    m_selection.SelectNone();
}

void frmMain::InvertSelection()
{
    m_selection.InvertWithinGroups();
}

void frmMain::ProtectedFoldersDialog()
{
    frmProtectedFolders dialog(
        m_protected, m_desktop, [this] { return chooseFolder("Select Folder To Protect"); }, this);
    dialog.exec();
}

void frmMain::UndoDelete()
{
    if (!m_journal.canUndo()) {
        return;
    }
    UndoReport report;
    TaskWindow progress(
        m_desktop, QStringLiteral("Restoring files"),
        [&](const WorkHooks& hooks) {
            report = m_journal.UndoDelete(
                m_catalogue, m_files, m_dupes, m_desktop,
                [this](RecordId from, RecordId to) {
                    m_verification.renumber(from, to);
                    m_reasons.renumber(from, to);
                },
                hooks);
            return Outcome::Completed;
        },
        this);
    progress.yieldIntervalMs = progressYieldMilliseconds;
    progress.runShownAfter(progressDelayMilliseconds);
    setStatusLine(undoStatusText(report));
    vsgFiles_RowChanged();
    vsgDupes_RowChanged();
    updateReviewTools();
}

void frmMain::VerifyDuplicates()
{
    const std::vector<std::vector<VerifyCandidate>> groups = candidateGroups(m_dupes);
    VerifySummary summary;
    TaskWindow progress(
        m_desktop, QStringLiteral("Verifying duplicates byte for byte"),
        [&](const WorkHooks& hooks) {
            // The reading runs on threads of its own; this one keeps the window answering.
            std::atomic<std::size_t> done{0};
            std::future<std::vector<VerifyResult>> reading = std::async(
                std::launch::async, [&] { return verifyGroups(groups, *hooks.stop, &done); });
            const double total = static_cast<double>(groups.size());
            while (reading.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
                const std::size_t finished = done.load(std::memory_order_relaxed);
                hooks.setCaption(std::to_string(finished) + " Of " + std::to_string(groups.size()) +
                                 " Group(s) Verified");
                (void)hooks.checkpoint(static_cast<double>(finished), total);
            }
            summary = m_verification.apply(m_dupes, reading.get());
            return hooks.stopRequested() ? Outcome::Stopped : Outcome::Completed;
        },
        this);
    progress.exec();
    m_dupesModel->rowNotesChanged();
    setStatusLine(verifySummaryText(summary));
    showWhy();
}

void frmMain::ExitApplication()
{
    close();
}

void frmMain::showAbout()
{
    frmAbout about(m_desktop, this);
    about.exec();
}

void frmMain::openContents()
{
    // A missing guide leaves no message of its own: the desktop's handler says what it says.
    const QString path = QFile::decodeName(m_helpFile.c_str());
    (void)m_desktop.openUrl(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded).toStdString());
}

std::filesystem::path findHelpFile(const std::filesystem::path& programFolder)
{
    if (isInstalled(programFolder)) {
        return installedHelpFile(programFolder);
    }
    return programFolder / "Corvelle.html";
}

std::filesystem::path findHelpFile()
{
    return findHelpFile(programFolder());
}

} // namespace corvelle
