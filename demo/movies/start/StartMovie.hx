package;

import flash.display.Sprite;
import flash.text.TextField;
import flash.text.TextFormatAlign;
import vedalia.demo.Shell;
import vedalia.demo.ui.Button;
import vedalia.demo.ui.CheckBox;
import vedalia.demo.ui.Control;
import vedalia.demo.ui.Input;
import vedalia.demo.ui.ListBox;
import vedalia.demo.ui.Screen;
import vedalia.demo.ui.Theme;

// The demo course's main menu: accounts, a short test with its results and report, the
// personal folder, favourites and one course item of each kind. Everything it cannot do by
// itself it asks of the shell; the shell's replies arrive through Shell's handlers.
class StartMovie extends Sprite {
	static inline var W = 1014;
	static inline var H = 731;
	static inline var CONTENT_X = 260;
	static inline var CONTENT_Y = 86;
	static inline var CONTENT_W = 734;
	static inline var CONTENT_H = 572;

	static inline var NO_DATABASE = "База данных курса недоступна.";

	// One item of each viewer kind: file, type key, object name, what it is.
	static var ITEMS:Array<Array<String>> = [
		["orbit.swf", "animation", "Орбита", "Анимация «Орбита Земли» — Flash-ролик в своём окне"],
		["handbook.swf", "reference", "Справочник", "Справочник — ролик ActionScript 2, как на дисках курсов"],
		["words.xml", "vocab", "Словарь", "Словарь — XML-описание, показанное роликом-шаблоном"],
		["kreml.jpg", "photo", "Кремль", "Фотография «Кремль» — просмотр JPEG с масштабом"],
		["cube.gms", "graphics_3D", "Куб", "Трёхмерная модель «Куб» — вращение и приближение"],
		["clip.avi", "video", "Мяч", "Видео «Мяч» — воспроизведение AVI"],
	];

	// The quiz: question, three answers, index of the right one.
	static var QUIZ:Array<Array<String>> = [
		["Какая планета ближе всего к Солнцу?", "Меркурий", "Венера", "Марс", "0"],
		["Сколько материков на Земле?", "Пять", "Шесть", "Семь", "1"],
		["За какое время Земля делает оборот вокруг Солнца?", "За сутки", "За месяц", "За год", "2"],
	];
	static inline var QUIZ_CHAPTER = 1;
	static inline var QUIZ_SECTION = 1;
	static inline var QUIZ_NUMBER = 1;
	static inline var QUIZ_TITLE = "Земля и Солнце";

	var screens = new Map<String, Screen>();
	var navButtons = new Map<String, Button>();
	var current:Screen;
	var statusLine:TextField;
	var replyLine:TextField;
	var userLine:TextField;
	var status = "";

	// The login as the movie knows it (the shell keeps its own).
	var userId = 0;
	var userSurname = "";
	var userName = "";
	var userLetter = "";
	var userPassword = "";
	var privileged = false;
	// Credentials of a log-in or registration awaiting its reply.
	var pending:Array<String>;

	var users:Array<Array<String>> = [];
	var results:Array<Array<String>> = [];
	var quizStep = 0;
	var quizRight = 0;
	var lastScore = -1;

	public static function main() {
		Theme.centreStage();
		flash.Lib.current.addChild(new StartMovie());
	}

	public function new() {
		super();
		drawFrame();
		buildNavigation();
		buildLogin();
		buildRegister();
		buildUsers();
		buildTest();
		buildResults();
		buildItems();
		buildFiles();
		buildFavourites();
		showScreen("login");
		connectShell();
		setStatus("Добро пожаловать! Войдите в курс или зарегистрируйтесь.");
		Shell.send("askLogin");
	}

	// ---- Frame: header, menu column, content panel, status line -----------------------------

	function drawFrame() {
		graphics.beginFill(Theme.STAGE);
		graphics.drawRect(0, 0, W, H);
		graphics.endFill();
		graphics.beginFill(Theme.HEADER);
		graphics.drawRect(0, 0, W, 66);
		graphics.endFill();
		var title = Theme.label("Ведалия", 26, Theme.WHITE);
		title.x = 24;
		title.y = 14;
		addChild(title);
		var subtitle = Theme.label("Демонстрационный курс · 8 класс", 14, 0xCFE3E6);
		subtitle.x = title.x + title.width + 16;
		subtitle.y = 26;
		addChild(subtitle);
		userLine = new TextField();
		userLine.embedFonts = true;
		userLine.selectable = false;
		userLine.mouseEnabled = false;
		userLine.defaultTextFormat = Theme.format(15, Theme.WHITE, TextFormatAlign.RIGHT);
		userLine.width = 460;
		userLine.height = 24;
		userLine.x = W - 24 - 460;
		userLine.y = 22;
		addChild(userLine);

		graphics.lineStyle(1, Theme.LINE);
		graphics.beginFill(Theme.PANEL);
		graphics.drawRoundRect(CONTENT_X, CONTENT_Y, CONTENT_W, CONTENT_H, 14, 14);
		graphics.endFill();
		graphics.lineStyle();

		graphics.beginFill(0xE9EEF0);
		graphics.drawRect(0, H - 52, W, 52);
		graphics.endFill();
		statusLine = Theme.label("", 15, Theme.TEXT);
		statusLine.autoSize = flash.text.TextFieldAutoSize.NONE;
		statusLine.width = 600;
		statusLine.height = 24;
		statusLine.x = 24;
		statusLine.y = H - 38;
		addChild(statusLine);
		replyLine = Theme.label("", 12, Theme.MUTED);
		replyLine.autoSize = flash.text.TextFieldAutoSize.NONE;
		replyLine.width = 360;
		replyLine.height = 20;
		replyLine.x = W - 24 - 360;
		replyLine.y = H - 36;
		addChild(replyLine);
		showUser();
	}

	function buildNavigation() {
		var entries = [
			["login", "Вход"], ["register", "Регистрация"], ["users", "Ученики"], ["test", "Тест"],
			["results", "Результаты"], ["items", "Материалы курса"], ["files", "Мои файлы"],
			["favourites", "Избранное"]
		];
		var y = CONTENT_Y;
		for (e in entries) {
			var b = navButton(e[0], e[1]);
			b.x = 20;
			b.y = y;
			addChild(b);
			navButtons.set(b.id, b);
			y += 52;
		}
		var exit = new Button("exit", "Выход", 220, 42, exitCourse);
		exit.x = 20;
		exit.y = CONTENT_Y + CONTENT_H - 42;
		addChild(exit);
		navButtons.set(exit.id, exit);
	}

	function navButton(screen:String, caption:String):Button {
		return new Button("nav." + screen, caption, 220, 42, function() showScreen(screen), false);
	}

	function newScreen(id:String, title:String, hint:String):Screen {
		var s = new Screen(id, title, hint, CONTENT_W);
		s.x = CONTENT_X;
		s.y = CONTENT_Y;
		s.visible = false;
		addChild(s);
		screens.set(id, s);
		return s;
	}

	function showScreen(id:String) {
		for (s in screens)
			s.visible = s.id == id;
		current = screens.get(id);
		for (b in navButtons)
			b.selected = b.id == "nav." + id;
		switch (id) {
			case "users":
				if (privileged)
					Shell.send("getUsersData");
			case "results":
				if (userId != 0)
					Shell.send("getUserResults", Std.string(userId));
			case "files":
				Shell.send("getUsersFiles");
			default:
		}
	}

	// ---- Screens --------------------------------------------------------------------------------

	var loginSurname:Input;
	var loginName:Input;
	var loginLetter:Input;
	var loginPassword:Input;
	var remember:CheckBox;
	var newPassword:Input;

	function buildLogin() {
		var s = newScreen("login", "Вход в курс",
			"Последний вход подставляется сам. Учитель: Учителева Мария, буква класса А, пароль teacher.");
		var top = s.rowY;
		loginSurname = s.put(new Input("loginSurname", "Фамилия", 300));
		loginName = s.put(new Input("loginName", "Имя", 300));
		loginLetter = s.put(new Input("loginLetter", "Буква класса", 80, false, 1));
		loginPassword = s.put(new Input("loginPassword", "Пароль", 300, true));
		remember = s.put(new CheckBox("remember", "Запомнить вход на этом компьютере", true));
		s.put(new Button("loginGo", "Войти", 140, 40, logIn), 0, false);
		s.put(new Button("logout", "Выйти из учётной записи", 230, 40, logOut), 160);

		var right = 400;
		var caption = Theme.label("Смена пароля", 17, Theme.HEADER);
		caption.x = right;
		caption.y = top;
		s.addChild(caption);
		newPassword = s.place(new Input("newPassword", "Новый пароль", 280, true), right, top + 34);
		s.place(new Button("passwordGo", "Сменить пароль", 200, 40, changeOwnPassword), right, top + 100);
	}

	var regName:Input;
	var regSurname:Input;
	var regLetter:Input;
	var regPassword:Input;
	var shortcut:CheckBox;

	function buildRegister() {
		var s = newScreen("register", "Регистрация ученика",
			"Новый ученик получает личную папку и сразу входит в курс. Класс — восьмой, укажите его букву.");
		regName = s.put(new Input("regName", "Имя", 300));
		regSurname = s.put(new Input("regSurname", "Фамилия", 300));
		regLetter = s.put(new Input("regLetter", "Буква класса", 80, false, 1));
		regPassword = s.put(new Input("regPassword", "Пароль", 300, true));
		shortcut = s.put(new CheckBox("shortcut", "Ярлык личной папки на рабочем столе", false));
		s.put(new Button("registerGo", "Зарегистрироваться", 220, 40, register));
	}

	var usersList:ListBox;
	var usersNote:TextField;
	var usersPassword:Input;

	function buildUsers() {
		var s = newScreen("users", "Ученики", "Список учеников виден учителю: удалить ученика или задать ему новый пароль.");
		usersNote = s.text("");
		var top = s.rowY;
		usersList = s.put(new ListBox("usersList", 420, 364));
		usersList.emptyText = "Список пуст.";
		var right = 470;
		s.place(new Button("usersRefresh", "Обновить список", 230, 40, function() Shell.send("getUsersData")), right, top);
		s.place(new Button("usersDelete", "Удалить выбранного", 230, 40, deleteSelectedUser), right, top + 52);
		usersPassword = s.place(new Input("usersPassword", "Новый пароль ученика", 230, true), right, top + 120);
		s.place(new Button("usersSetPassword", "Задать пароль", 230, 40, setSelectedPassword), right, top + 180);
	}

	var question:TextField;
	var progress:TextField;
	var answers:Array<Button> = [];
	var quizResult:TextField;

	function buildTest() {
		var s = newScreen("test", "Тест «" + QUIZ_TITLE + "»",
			"Три вопроса. Результат сохраняется в базе курса: последний, лучший и средний балл.");
		progress = s.text("", 13, Theme.MUTED);
		question = s.text("", 18);
		s.skip(10);
		for (i in 0...3)
			answers.push(s.put(answerButton(i)));
		s.skip(10);
		quizResult = s.text("", 16, Theme.HEADER);
		s.put(new Button("quizRestart", "Пройти заново", 200, 40, startQuiz));
		startQuiz();
	}

	function answerButton(i:Int):Button {
		return new Button("answer" + i, "", 420, 42, function() answer(i), false);
	}

	var resultsList:ListBox;

	function buildResults() {
		var s = newScreen("results", "Результаты тестов", "Ваши попытки по каждому тесту. Отчёт сохраняется в личную папку или печатается.");
		var top = s.rowY;
		resultsList = s.put(new ListBox("resultsList", 440, 364));
		resultsList.emptyText = "Результатов пока нет.";
		var right = 490;
		s.place(new Button("resultsRefresh", "Обновить", 210, 40, refreshResults), right, top);
		s.place(new Button("reportSave", "Сохранить отчёт", 210, 40, saveReport), right, top + 52);
		s.place(new Button("reportPrint", "Печать отчёта", 210, 40, printReport), right, top + 104);
	}

	function buildItems() {
		var s = newScreen("items", "Материалы курса", "Каждый материал открывается в своём окне просмотра.");
		for (i in 0...ITEMS.length) {
			s.put(itemButton(i), 0, false);
			var t = Theme.label(ITEMS[i][3], 14, Theme.TEXT, 420);
			t.x = 24 + 250;
			t.y = s.rowY + 10;
			s.addChild(t);
			s.skip(56);
		}
	}

	function itemButton(i:Int):Button {
		var item = ITEMS[i];
		return new Button("item." + item[1], item[2], 230, 44, function() Shell.send("open_file", item[0] + "|" + item[1] + "|" + item[2]));
	}

	var filesList:ListBox;

	function buildFiles() {
		var s = newScreen("files", "Моя папка", "Файлы, сохранённые в личную папку: копии материалов и отчёты.");
		var top = s.rowY;
		filesList = s.put(new ListBox("filesList", 440, 364));
		filesList.emptyText = "Папка пуста.";
		var right = 490;
		s.place(new Button("filesRefresh", "Обновить", 210, 40, function() Shell.send("getUsersFiles")), right, top);
		s.place(new Button("filesCopy", "Копия фотографии", 210, 40, function() Shell.send("save_file", "0;kreml.jpg;photo;Кремль")),
			right, top + 52);
	}

	var favourites:Array<CheckBox> = [];

	function buildFavourites() {
		var s = newScreen("favourites", "Избранное", "Отметьте материалы, к которым хотите вернуться; список сохраняется в личной папке.");
		for (i in 0...ITEMS.length)
			favourites.push(s.put(new CheckBox("fav" + i, ITEMS[i][3], false)));
		s.skip(10);
		s.put(new Button("favSave", "Сохранить избранное", 230, 40, saveFavourites));
	}

	// ---- Accounts -------------------------------------------------------------------------------

	// Fields travel joined by ";" (and "|" for some commands), and the shell drops double quotes:
	// such characters cannot be part of a name or a password.
	static function clean(values:Array<String>):Bool {
		for (v in values)
			if (v == "" || v.indexOf(";") >= 0 || v.indexOf("|") >= 0 || v.indexOf("\"") >= 0)
				return false;
		return true;
	}

	function logIn() {
		var f = [
			StringTools.trim(loginSurname.text), StringTools.trim(loginName.text), StringTools.trim(loginLetter.text), loginPassword.text
		];
		if (!clean(f)) {
			setStatus("Заполните все поля входа (без символов ; | \").", true);
			return;
		}
		pending = f;
		Shell.send("validateUser", f.join(";"));
	}

	function logOut() {
		Shell.send("clearUserData");
		setUser(0, "", "", "", "", false);
		setStatus("Вы вышли из учётной записи.");
	}

	function register() {
		var f = [
			StringTools.trim(regName.text), StringTools.trim(regSurname.text), StringTools.trim(regLetter.text), regPassword.text
		];
		if (!clean(f)) {
			setStatus("Заполните все поля регистрации (без символов ; | \").", true);
			return;
		}
		pending = f;
		Shell.send("addUser", f.join(";") + ";" + (shortcut.checked ? "1" : "0"));
	}

	function changeOwnPassword() {
		var p = newPassword.text;
		if (userId == 0) {
			setStatus("Сначала войдите в курс.", true);
			return;
		}
		if (!clean([p])) {
			setStatus("Введите новый пароль (без символов ; | \").", true);
			return;
		}
		// The shell does not answer this command.
		Shell.send("setPassword", userId + ";" + p);
		userPassword = p;
		newPassword.text = "";
		setStatus("Пароль изменён.");
	}

	function selectedUser():Array<String> {
		var i = usersList.selectedIndex;
		return i >= 0 && i < users.length ? users[i] : null;
	}

	function deleteSelectedUser() {
		var u = selectedUser();
		if (u == null) {
			setStatus("Выберите ученика в списке.", true);
			return;
		}
		if (Std.parseInt(u[3]) == userId) {
			setStatus("Свою учётную запись удалить нельзя.", true);
			return;
		}
		Shell.send("deleteUser", u[3]);
	}

	function setSelectedPassword() {
		var u = selectedUser();
		if (u == null || !clean([usersPassword.text])) {
			setStatus("Выберите ученика и введите новый пароль.", true);
			return;
		}
		Shell.send("setPassword", u[3] + ";" + usersPassword.text);
		usersPassword.text = "";
		setStatus("Пароль ученика " + u[1] + " " + u[0] + " изменён.");
	}

	function setUser(id:Int, surname:String, name:String, letter:String, password:String, isTeacher:Bool) {
		userId = id;
		userSurname = surname;
		userName = name;
		userLetter = letter;
		userPassword = password;
		privileged = isTeacher;
		showUser();
	}

	function showUser() {
		if (userId == 0)
			userLine.text = "Вход не выполнен";
		else
			userLine.text = userSurname + " " + userName + (privileged ? " · учитель" : " · 8" + userLetter + " класс");
		if (usersNote != null)
			usersNote.text = privileged ? "" : "Войдите под учётной записью учителя, чтобы видеть список.";
	}

	// The quit the course asks for: with the log-in to remember, or "0" to forget it.
	function exitCourse() {
		var keep = remember.checked && userId != 0;
		Shell.send("app_exit", keep ? [userSurname, userName, userLetter, userPassword].join(";") : "0");
	}

	// ---- Test, results, report --------------------------------------------------------------------

	function startQuiz() {
		quizStep = 0;
		quizRight = 0;
		quizResult.text = "";
		showQuestion();
	}

	function showQuestion() {
		var done = quizStep >= QUIZ.length;
		for (i in 0...answers.length) {
			answers[i].visible = !done;
			if (!done)
				answers[i].setText(QUIZ[quizStep][i + 1]);
		}
		if (done) {
			progress.text = "Тест завершён";
			question.text = "";
		} else {
			progress.text = "Вопрос " + (quizStep + 1) + " из " + QUIZ.length;
			question.text = QUIZ[quizStep][0];
		}
	}

	function answer(i:Int) {
		if (quizStep >= QUIZ.length)
			return;
		if (Std.string(i) == QUIZ[quizStep][4])
			quizRight++;
		quizStep++;
		showQuestion();
		if (quizStep < QUIZ.length)
			return;
		lastScore = Math.round(100 * quizRight / QUIZ.length);
		quizResult.text = "Верных ответов: " + quizRight + " из " + QUIZ.length + ", балл " + lastScore + ".";
		if (userId == 0) {
			setStatus("Результат не сохранён: войдите в курс.", true);
			return;
		}
		var record:Array<Dynamic> = [QUIZ_CHAPTER, QUIZ_SECTION, QUIZ_NUMBER, lastScore, userId, QUIZ_TITLE];
		Shell.send("addTestResult", record.join(";"));
	}

	function refreshResults() {
		if (userId == 0) {
			setStatus("Войдите, чтобы увидеть свои результаты.", true);
			return;
		}
		Shell.send("getUserResults", Std.string(userId));
	}

	// The report is HTML without double quotes (the shell drops them) and without "|".
	function report():String {
		var who = userId == 0 ? "гость" : userSurname + " " + userName;
		var rows = "";
		for (r in results)
			rows += "<tr><td>" + r[0] + "." + r[1] + "." + r[2] + "</td><td>" + r[7] + "</td><td>" + r[3] + "</td><td>" + r[4]
				+ "</td><td>" + r[5] + "</td><td>" + r[6] + "</td></tr>";
		return "<html><head><meta charset=windows-1251><title>Отчёт</title></head><body>" + "<h2>Ведалия: результаты тестов</h2><p>Ученик: "
			+ who + "</p><table border=1 cellpadding=4>"
			+ "<tr><th>Тест</th><th>Название</th><th>Последний</th><th>Лучший</th><th>Средний</th><th>Попыток</th></tr>" + rows
			+ "</table></body></html>";
	}

	function saveReport() {
		Shell.send("save_test_to_html", "otchet.html|" + report());
	}

	function printReport() {
		Shell.send("print_test_result", report());
	}

	// ---- Favourites ---------------------------------------------------------------------------------

	// The personal folder below the course folder, levels separated by "\".
	function personalFolder():String {
		var person = userSurname + " " + userName;
		return "folders\\" + (privileged ? person : "8" + userLetter + "\\" + person);
	}

	function saveFavourites() {
		if (userId == 0) {
			setStatus("Войдите, чтобы сохранить избранное.", true);
			return;
		}
		var chosen = [];
		for (i in 0...ITEMS.length)
			if (favourites[i].checked)
				chosen.push(ITEMS[i][1] + ":" + ITEMS[i][0] + " " + ITEMS[i][2]);
		Shell.send("saveFavorites", personalFolder() + "\\Избранное|izbrannoe.txt|" + chosen.join(", "));
		setStatus("Избранное сохранено: " + chosen.length + " материал(ов).");
	}

	// ---- The shell's replies ----------------------------------------------------------------------

	function connectShell() {
		Shell.connect(findVariable, gotoFrame);
		Shell.onAnyReply(function(_, _) replyLine.text = "Ответ оболочки: " + Shell.lastReply);
		Shell.on("askedLogin", function(v) {
			var f = StringTools.trim(v).split(";");
			if (f.length < 4)
				return;
			loginSurname.text = f[0];
			loginName.text = f[1];
			loginLetter.text = f[2];
			loginPassword.text = f[3];
			setStatus("Подставлен последний вход: " + f[0] + " " + f[1] + ".");
		});
		Shell.on("registred", function(v) {
			if (v == "false")
				setStatus("Регистрация не удалась: такой ученик уже есть.", true);
			else if (v == "nety_basi")
				setStatus(NO_DATABASE, true);
			else if (pending != null) {
				// The shell logs the new pupil in unless the teacher (account 1) is logged in.
				if (userId != 1)
					setUser(Std.parseInt(v), pending[1], pending[0], pending[2], pending[3], false);
				setStatus("Ученик " + pending[1] + " " + pending[0] + " зарегистрирован (№ " + v + ").");
				regPassword.text = "";
			}
		});
		Shell.on("validated", function(v) {
			if (v == "false")
				setStatus("Неверная фамилия, имя, буква класса или пароль.", true);
			else if (v == "nety_basi")
				setStatus(NO_DATABASE, true);
			else {
				var r = v.split(";");
				setUser(Std.parseInt(r[0]), r[3], r[1], r[9], pending != null ? pending[3] : "", r[13] == "1");
				setStatus("Вход выполнен: " + r[3] + " " + r[1] + ".");
			}
		});
		Shell.on("UsersData", function(v) {
			users = [];
			if (v == "nety_basi")
				setStatus(NO_DATABASE, true);
			else if (v != "nil")
				for (e in v.split(";"))
					if (e != "")
						users.push(e.split(","));
			usersList.setItems([for (u in users) u[1] + " " + u[0] + " — 8" + u[2] + " (№ " + u[3] + ")"]);
		});
		Shell.on("UserDeleted", function(v) {
			setStatus(v == "true" ? "Ученик удалён вместе с личной папкой." : (v == "nety_basi" ? NO_DATABASE : "Удалить не удалось."), v != "true");
			if (v == "true")
				Shell.send("getUsersData");
		});
		Shell.on("ResultAdded", function(v) {
			if (v == "true") {
				setStatus("Результат теста сохранён: " + lastScore + " баллов.");
				Shell.send("getUserResults", Std.string(userId));
			} else
				setStatus(v == "nety_basi" ? NO_DATABASE : "Результат не сохранён.", true);
		});
		Shell.on("UserResults", function(v) {
			results = [];
			if (v != "nil" && v != "nety_basi")
				for (e in v.split(";"))
					if (e != "")
						results.push(e.split("/"));
			resultsList.setItems([
				for (r in results)
					"Тест " + r[0] + "." + r[1] + "." + r[2] + ": последний " + r[3] + ", лучший " + r[4] + ", средний " + r[5] + ", попыток "
					+ r[6]
			]);
		});
		Shell.on("UsersFiles", function(v) {
			// Entries the shell leaves out still leave their separator behind.
			filesList.setItems([for (e in v.split(";")) if (e != "") e]);
		});
		Shell.on("exit", function(v) {
			if (v == "true")
				exitCourse();
		});
		Shell.on("ChangeActiveRuler", function(v) {
			showScreen("items");
			setStatus("Открыт раздел: " + v + ".");
		});
	}

	// GotoFrame: frames count the menu entries from 1 (frame 6 is the course materials).
	function gotoFrame(frame:Int) {
		var order = ["login", "register", "users", "test", "results", "items", "files", "favourites"];
		if (frame >= 1 && frame <= order.length)
			showScreen(order[frame - 1]);
	}

	function findControl(id:String):Control {
		var b = navButtons.get(id);
		if (b != null)
			return b;
		for (s in screens) {
			var c = s.controls.get(id);
			if (c != null)
				return c;
		}
		return null;
	}

	// What GetVariable can read besides the replies: the movie's state and where its controls are.
	function findVariable(name:String):Null<String> {
		switch (name) {
			case "ready":
				return "1";
			case "status":
				return status;
			case "screen":
				return current == null ? "" : current.id;
			case "userId":
				return Std.string(userId);
			case "user":
				return userId == 0 ? "" : userSurname + " " + userName;
			case "privileged":
				return privileged ? "1" : "0";
			case "quizStep":
				return Std.string(quizStep);
			case "quizScore":
				return Std.string(lastScore);
			case "Stage_width":
				return Std.string(W);
			case "Stage_height":
				return Std.string(H);
			default:
		}
		var colon = name.indexOf(":");
		if (colon < 0)
			return null;
		var kind = name.substr(0, colon);
		var id = name.substr(colon + 1);
		var c = findControl(id);
		switch (kind) {
			case "at":
				return c == null ? "" : c.stageRect();
			case "field":
				return Std.isOfType(c, Input) ? (cast c : Input).text : "";
			case "checked":
				return Std.isOfType(c, CheckBox) ? ((cast c : CheckBox).checked ? "1" : "0") : "";
			case "list":
				return Std.isOfType(c, ListBox) ? (cast c : ListBox).items.join("\n") : "";
			case "row":
				// row:<list id>:<index>
				var at = id.lastIndexOf(":");
				var list = findControl(id.substr(0, at));
				return Std.isOfType(list, ListBox) ? (cast list : ListBox).rowRect(Std.parseInt(id.substr(at + 1))) : "";
			default:
				return null;
		}
	}

	function setStatus(text:String, warning = false) {
		status = text;
		statusLine.text = (warning ? "⚠ " : "✓ ") + text;
		statusLine.textColor = warning ? Theme.WARN : Theme.TEXT;
		replyLine.text = Shell.lastReply == "" ? "" : "Ответ оболочки: " + Shell.lastReply;
	}
}
