package;

import flash.display.Shape;
import flash.events.Event;
import vedalia.demo.ItemMovie;
import vedalia.demo.Shell;
import vedalia.demo.ui.Input;
import vedalia.demo.ui.Theme;

// The course's animation item: the Earth on its orbit, with the commands a viewer window
// offers its movie: copies of the item's document, printing, a note kept in a Flash data
// file, and opening another item.
class OrbitItem extends ItemMovie {
	static inline var W = 640;
	static inline var H = 480;

	var earth:Shape;
	var moon:Shape;
	var angle = 0.0;
	var note:Input;

	public static function main() {
		Theme.centreStage();
		flash.Lib.current.addChild(new OrbitItem());
	}

	public function new() {
		super("Орбита Земли", W, H, 0x1D2B4F);
		drawSky();
		var x = 420;
		var y = 76;
		var step = 44;
		button("savePersonal", "Копия в мою папку", x, y, 200, function() Shell.send("save_personal"));
		button("saveOther", "Сохранить как…", x, y += step, 200, function() Shell.send("save_other"));
		button("print", "Печать", x, y += step, 200, function() Shell.send("print"));
		button("openPhoto", "Фотография Кремля", x, y += step, 200, function() Shell.send("open_file", "kreml.jpg photo Кремль"));
		button("saveNote", "Сохранить заметку", x, y += step, 200, function() Shell.send("save_inf", note.text));
		button("loadNote", "Загрузить заметку", x, y += step, 200, function() Shell.send("load_inf"));
		button("close", "Закрыть", x, y += step, 200, function() Shell.send("app_exit"));
		note = add(new Input("note", "Заметка к уроку (хранится в файле данных)", 380, false, 200, 0xB8C6DA), 20, 380);
		note.text = "Год — это один оборот Земли.";

		Shell.on("print_mode", function(v) {
			// A printer is there: print the window's page.
			if (v == "true")
				Shell.send("print_page");
		});
		Shell.on("PrintPage", function(_) setStatus("Печать завершена."));
		Shell.on("SaveFlashData", function(_) setStatus("Заметка сохранена в файл данных."));
		Shell.on("LoadFlashData", function(v) {
			note.text = v;
			setStatus("Заметка загружена из файла данных.");
		});
		setStatus("Земля обходит Солнце за год, Луна Землю — за месяц.");
		addEventListener(Event.ENTER_FRAME, function(_) move());
		Shell.send("askContent");
	}

	function drawSky() {
		var sky = new Shape();
		var g = sky.graphics;
		g.beginFill(0x142040);
		g.drawRoundRect(20, 70, 380, 296, 12, 12);
		g.endFill();
		for (i in 0...40) {
			g.beginFill(0xFFFFFF, 0.3 + (i % 5) * 0.12);
			g.drawCircle(28 + (i * 97) % 364, 78 + (i * 53) % 280, 1 + (i % 3) * 0.5);
			g.endFill();
		}
		g.lineStyle(1, 0x6F86B8, 0.6);
		g.drawEllipse(210 - 150, 218 - 110, 300, 220);
		g.lineStyle();
		g.beginFill(0xFFE08A, 0.35);
		g.drawCircle(210, 218, 40);
		g.endFill();
		g.beginFill(0xFFC640);
		g.drawCircle(210, 218, 30);
		g.endFill();
		// Only the Earth and the Moon move; the sky is drawn once.
		sky.cacheAsBitmap = true;
		addChild(sky);
		earth = new Shape();
		earth.graphics.beginFill(0x3C8FE0);
		earth.graphics.drawCircle(0, 0, 12);
		earth.graphics.endFill();
		earth.graphics.beginFill(0x4CAF50);
		earth.graphics.drawCircle(-3, -2, 5);
		earth.graphics.endFill();
		addChild(earth);
		moon = new Shape();
		moon.graphics.beginFill(0xDADADA);
		moon.graphics.drawCircle(0, 0, 4);
		moon.graphics.endFill();
		addChild(moon);
		move();
	}

	function move() {
		angle += 0.024;
		earth.x = 210 + 150 * Math.cos(angle);
		earth.y = 218 + 110 * Math.sin(angle);
		moon.x = earth.x + 24 * Math.cos(angle * 12);
		moon.y = earth.y + 24 * Math.sin(angle * 12);
	}
}
