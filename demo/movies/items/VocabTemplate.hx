package;

import vedalia.demo.ItemMovie;
import vedalia.demo.Shell;
import vedalia.demo.ui.Theme;

// The template movie of the vocabulary type: the viewer plays it for an XML-described item
// and tells it the item's file name; "save_file" copies the vocabulary's document.
class VocabTemplate extends ItemMovie {
	public static function main() {
		Theme.centreStage();
		flash.Lib.current.addChild(new VocabTemplate());
	}

	public function new() {
		super("Словарь", 400, 300, 0x3A4A2F);
		var t = Theme.label("Термины раздела берутся из XML-файла, имя которого сообщает окно просмотра.", 13, Theme.WHITE, 360);
		t.x = 20;
		t.y = 80;
		addChild(t);
		button("saveVocab", "Сохранить словарь", 20, 150, 200, function() Shell.send("save_file"));
		button("close", "Закрыть", 20, 196, 200, function() Shell.send("app_exit"));
		setStatus("Словарь открыт.");
		Shell.send("askContent");
	}
}
