# Generates src/shell/ui_texts.inc (run: python3 scripts/texts.py): the program's own texts in
# German, English, Spanish and Bavarian, as Windows-1252 byte escapes.
T = [
 # id, de, en, es, bay
 ("SoundCaption", "Ton?", "Sound?", "¿Sonido?", "Ton?"),
 ("ReplayCaption", "Wiedergabe", "Replay", "Reproducción", "Obspuin"),
 ("NotesCaption", "Noten", "Notes", "Notas", "Notn"),
 ("NumbersCaption", "Nr.", "No.", "N.º", "Nr."),
 ("HelpCaption", "Hilfe", "Help", "Ayuda", "Huif"),
 ("InstrumentHeading", "Instrument wählen", "Choose the instrument", "Elegir el instrumento", "Instrument aussuacha"),
 ("TempoText", "Tempo %1 (%2 pro Min.)", "Tempo %1 (%2 per min)", "Tempo %1 (%2 por min)", "Tempo %1 (%2 pro Minutn)"),
 ("CountIn", "Gleich geht's los: %1", "Starting in %1", "Empieza en %1", "Glei geht's los: %1"),
 # tool tips
 ("TipRecord", "Aufnehmen: Akkorde und Pausen zu einer Aufnahme zusammenstellen", "Record: build a record of chords and rests", "Grabar: crear una grabación de acordes y pausas", "Aufnehma: Akkorde und Pausn zu oana Aufnahm zammstejn"),
 ("TipCancel", "Aufnahme abbrechen (fragt nach, wenn Änderungen verloren gingen)", "Cancel the recording (asks first when changes would be lost)", "Cancelar la grabación (pregunta antes si se perderían cambios)", "Aufnahm obbrecha (frogt noch, wenn Änderunga verlorn gang)"),
 ("TipSave", "Unter dem eingegebenen Namen speichern", "Save under the name typed", "Guardar con el nombre escrito", "Unter dem Nama speichern"),
 ("TipCommit", "Den gedrückten Akkord in die Liste übernehmen", "Take the chord you pressed into the list", "Pasar el acorde pulsado a la lista", "Den druckten Akkord in d' Listn nehma"),
 ("TipRestPlay", "Pause, in der die Töne weiterklingen", "Rest during which the notes ring on", "Pausa en la que las notas siguen sonando", "Pausn, in der d' Tön weiterklinga"),
 ("TipRestMute", "Pause in Stille", "Rest in silence", "Pausa en silencio", "Pausn, gonz staad"),
 ("TipDelete", "Die gewählte Zeile löschen", "Delete the selected line", "Borrar la línea elegida", "De gwählte Zeiln löscha"),
 ("TipReplace", "Jetzt: die gewählte Zeile ersetzen (Klick: davor einfügen)", "Now: replace the selected line (click: insert before it)", "Ahora: reemplazar la línea elegida (clic: insertar antes)", "Jetzt: de gwählte Zeiln ersetzn (Klick: davor eifüng)"),
 ("TipInsert", "Jetzt: vor der gewählten Zeile einfügen (Klick: ersetzen)", "Now: insert before the selected line (click: replace it)", "Ahora: insertar antes de la línea elegida (clic: reemplazar)", "Jetzt: vor da gwähltn Zeiln eifüng (Klick: ersetzn)"),
 ("TipAfresh", "Die Liste leeren und neu anfangen", "Empty the list and start afresh", "Vaciar la lista y empezar de nuevo", "D' Listn ausleern und nei ofanga"),
 ("TipPlay", "Die geladene Aufnahme abspielen", "Play the loaded record", "Reproducir la grabación cargada", "De gladne Aufnahm obspuin"),
 ("TipPause", "Anhalten; Abspielen macht an derselben Stelle weiter", "Pause; Play goes on from here", "Pausa; Reproducir sigue desde aquí", "Ohoitn; Obspuin mocht do weiter"),
 ("TipStop", "Beenden und an den Anfang zurück", "Stop and go back to the start", "Parar y volver al principio", "Aufhörn und zruck zum Ofang"),
 ("TipSingle", "Jetzt: vorwärts in Schleife (Klick: hin und zurück)", "Now: forwards in a loop (click: back and forth)", "Ahora: hacia delante en bucle (clic: ida y vuelta)", "Jetzt: vorwärts im Kroas (Klick: hin und zruck)"),
 ("TipRepeat", "Jetzt: hin und zurück (Klick: vorwärts in Schleife)", "Now: back and forth (click: forwards in a loop)", "Ahora: ida y vuelta (clic: hacia delante en bucle)", "Jetzt: hin und zruck (Klick: vorwärts im Kroas)"),
 ("TipExpand", "Das Instrumentenfeld zeigen", "Show the instrument panel", "Mostrar el panel del instrumento", "S' Instrumentnfeld zoang"),
 ("TipCollapse", "Das Instrumentenfeld ausblenden", "Hide the instrument panel", "Ocultar el panel del instrumento", "S' Instrumentnfeld wegdoa"),
 ("TipMinus", "Voriges Instrument", "Previous instrument", "Instrumento anterior", "Voriges Instrument"),
 ("TipPlus", "Nächstes Instrument", "Next instrument", "Instrumento siguiente", "Nächsts Instrument"),
 ("TipEnglish", "Englisch", "English", "Inglés", "Englisch"),
 ("TipSpanish", "Spanisch", "Spanish", "Español", "Spanisch"),
 ("TipGerman", "Deutsch", "German", "Alemán", "Deitsch"),
 ("TipCredits", "Über Tastrello", "About Tastrello", "Acerca de Tastrello", "Iba Tastrello"),
 ("TipSound", "Töne an oder aus", "Sound on or off", "Sonido sí o no", "Tön o oder aus"),
 ("TipCut", "Beim Abspielen klingt jeder Akkord nur bis zum nächsten", "In replay each chord sounds only until the next", "Al reproducir cada acorde suena solo hasta el siguiente", "Beim Obspuin klingt a jeder Akkord bloß bis zum nächstn"),
 ("TipNotes", "Die Noten der Aufnahme zeigen", "Show the notes of the record", "Mostrar las notas de la grabación", "D' Notn vo da Aufnahm zoang"),
 ("TipNumbers", "Die Nummern der Schritte zeigen", "Show the step numbers", "Mostrar los números de los pasos", "D' Nummern vo de Schritt zoang"),
 ("TipHelp", "Hilfetafeln des Editors zeigen", "Show the editor's help boards", "Mostrar los paneles de ayuda del editor", "D' Huiftafln vom Editor zoang"),
 ("TipLessons", "Lektionen statt eigener Aufnahmen zeigen", "Show lessons instead of your records", "Mostrar lecciones en vez de tus grabaciones", "Lektiona statt de eignen Aufnahma zoang"),
 ("TipSpeed", "Tempo: weiter rechts ist schneller", "Tempo: further right is faster", "Tempo: más a la derecha es más rápido", "Tempo: weida rechts is schnella"),
 ("TipName", "Name der Aufnahme", "Name of the record", "Nombre de la grabación", "Nama vo da Aufnahm"),
 ("TipPull", "%1, Zug (Balg öffnen)", "%1, pull (bellows opening)", "%1, abrir el fuelle", "%1, Zug (Bolg aufzoign)"),
 ("TipPush", "%1, Druck (Balg schließen)", "%1, push (bellows closing)", "%1, cerrar el fuelle", "%1, Druck (Bolg zuadruckn)"),
 ("TipStatus", "Alle Meldungen seit dem Start", "Every message since the start", "Todos los mensajes desde el inicio", "Olle Meldunga seit'm Start"),
 ("BellowsPull", "Zug", "pull", "abrir", "Zug"),
 ("BellowsPush", "Druck", "push", "cerrar", "Druck"),
 ("BellowsBoth", "Zug und Druck gemischt!", "pull and push mixed!", "¡abrir y cerrar mezclados!", "Zug und Druck gmischt!"),
 ("KeyboardPlayCaption", "Tastatur spielt", "Keyboard plays", "El teclado toca", "Tastatur spuit"),
 ("KeyLettersCaption", "Tasten zeigen", "Show the keys", "Mostrar las teclas", "Tastn zoang"),
 ("TipKeyboardPlay", "Die Tastatur als Akkordeon: drei Tastenreihen, Leertaste gedrückt = Druck", "The keyboard as the accordion: three rows of keys, Space held = push", "El teclado como acordeón: tres filas de teclas, espacio pulsado = cerrar", "D' Tastatur ois Ziach: drei Tastnreihn, Leertastn druckt = Druck"),
 ("TipKeyLetters", "Auf jedem Knopf die Taste zeigen, die ihn spielt", "Show on each button the key that plays it", "Mostrar en cada botón la tecla que lo toca", "Auf jedm Knopf d' Tastn zoang, de'n spuit"),
 ("MidiInNone", "Kein MIDI-Eingang", "No MIDI input", "Sin entrada MIDI", "Koa MIDI-Eingang"),
 ("MsgKeyMapLine", "Tastenbelegung Zeile %1 übersprungen: %2.", "Key map line %1 skipped: %2.", "Línea %1 del mapa de teclas omitida: %2.", "Tastnbelegung Zeiln %1 übersprunga: %2."),
 ("MsgNoButtonForPitch", "Note %1 hat keinen Knopf in dieser Stimmung; sie klingt trotzdem.", "Note %1 has no button in this tuning; it sounds all the same.", "La nota %1 no tiene botón en esta afinación; suena de todos modos.", "Note %1 hod koan Knopf in dera Stimmung; sie klingt trotzdem."),
 ("MsgMidiIn", "MIDI-Eingang: %1", "MIDI input: %1", "Entrada MIDI: %1", "MIDI-Eingang: %1"),
 ("TuningOwn", "Stimmung: die der Aufnahme", "Tuning: each record's own", "Afinación: la de cada grabación", "Stimmung: de vo da Aufnahm"),
 ("TipTuning", "Eine andere Stimmung auf die Knöpfe legen; die geladene Aufnahme spielt darauf", "Put another tuning on the buttons; the loaded record plays on it", "Poner otra afinación en los botones; la grabación cargada suena en ella", "A andre Stimmung auf d' Knöpf legn; de gladne Aufnahm spuit drauf"),
 ("TabCaption", "Griffschrift", "Tablature", "Tablatura", "Griffschrift"),
 ("TipTab", "Die geladene Aufnahme als Griffschrift, die dem Abspielen folgt; als PDF oder SVG speichern", "The loaded record as tablature that follows the replay; save it as PDF or SVG", "La grabación cargada como tablatura que sigue la reproducción; guardarla como PDF o SVG", "De gladne Aufnahm ois Griffschrift, de beim Obspuin mitgeht; ois PDF oder SVG speichern"),
 ("MsgExported", "%1 geschrieben (%2 Seiten).", "Wrote %1 (%2 pages).", "%1 escrito (%2 páginas).", "%1 gschriebn (%2 Seitn)."),
 ("TipInstruments", "Ein Instrument direkt wählen", "Pick an instrument directly", "Elegir un instrumento directamente", "A Instrument glei aussuacha"),
 # practice
 ("PracticeCaption", "Üben: wartet auf mich", "Practice: waits for me", "Practicar: me espera", "Üben: wart auf mi"),
 ("TipPractice", "Das Abspielen wartet, bis du jeden Akkord richtig spielst (Tastatur, MIDI oder Maus), und zählt jeden Durchgang", "Replay waits until you play each chord right (keyboard, MIDI or mouse) and scores each pass", "La reproducción espera a que toques bien cada acorde (teclado, MIDI o ratón) y puntúa cada pasada", "S' Obspuin wart, bis'd an jedn Akkord richtig spuist (Tastatur, MIDI oder Maus), und zählt jedn Durchgang"),
 ("RampCaption", "Tempo steigern", "Raise the tempo", "Subir el tempo", "Tempo steigern"),
 ("TipRampOff", "Langsamer anfangen und nach fehlerfreien Durchgängen schneller werden, bis zum Tempo, das jetzt eingestellt ist", "Start slower and speed up after clean passes, up to the tempo set now", "Empezar más despacio y acelerar tras pasadas limpias, hasta el tempo puesto ahora", "Langsama ofanga und noch fehlerfreie Durchgäng schnella wern, bis zum Tempo, des jetzt eigstejt is"),
 ("TipRampOn", "Tempo %1 bis %2: nach %3 fehlerfreien Durchgängen eine Stufe schneller", "Tempo %1 to %2: one step faster after %3 clean passes", "Tempo %1 a %2: un paso más rápido tras %3 pasadas limpias", "Tempo %1 bis %2: noch %3 fehlerfreie Durchgäng a Stufn schnella"),
 ("CountInCaption", "Einzählen", "Count in", "Contar antes", "Eizähln"),
 ("TipCountIn", "Vier Schläge vorzählen, bevor es losgeht", "Count four clicks before the first chord", "Contar cuatro golpes antes del primer acorde", "Vier Schläg vorzähln, bevor's losgeht"),
 ("MetronomeCaption", "Metronom", "Metronome", "Metrónomo", "Metronom"),
 ("TipMetronome", "Ein Klick auf jedem Schritt (Schlagzeug, MIDI-Kanal 10)", "A click on every step (percussion, MIDI channel 10)", "Un golpe en cada paso (percusión, canal MIDI 10)", "A Klick auf jedm Schritt (Schlogzeig, MIDI-Kanal 10)"),
 ("SectionFirstCaption", "Von", "From", "Desde", "Vo"),
 ("SectionLastCaption", "Bis", "To", "Hasta", "Bis"),
 ("SectionAllCaption", "Alles", "All", "Todo", "Ois"),
 ("TipSectionFirst", "Der Abschnitt beginnt bei der gewählten Zeile; Abspielen und Üben wiederholen ihn", "The section begins at the selected line; replay and practice loop it", "La sección empieza en la línea elegida; reproducir y practicar la repiten", "Da Abschnitt fangt bei da gwähltn Zeiln o; Obspuin und Üben wiederholn'n"),
 ("TipSectionLast", "Der Abschnitt endet bei der gewählten Zeile", "The section ends at the selected line", "La sección termina en la línea elegida", "Da Abschnitt hört bei da gwähltn Zeiln auf"),
 ("TipSectionAll", "Wieder die ganze Aufnahme", "The whole record again", "De nuevo toda la grabación", "Wieda de gonze Aufnahm"),
 ("MsgSection", "Abschnitt: Schritt %1 bis %2.", "Section: events %1 to %2.", "Sección: pasos %1 a %2.", "Abschnitt: Schritt %1 bis %2."),
 ("MsgSectionPick", "Zuerst eine Zeile der Noten anklicken.", "Click a line of the notes first.", "Elige primero una línea de las notas.", "Zerst a Zeiln vo de Notn oklicka."),
 ("MsgPlayChord", "Spiel: %1 (%2)", "Play: %1 (%2)", "Toca: %1 (%2)", "Spui: %1 (%2)"),
 ("MsgWrongButton", "Falscher Knopf: %1. Gesucht: %2 (%3).", "Wrong button: %1. Wanted: %2 (%3).", "Botón equivocado: %1. Se busca: %2 (%3).", "Foischa Knopf: %1. Gsuacht: %2 (%3)."),
 ("MsgWrongDirection", "Richtiger Knopf, falsche Balgrichtung: %1 auf %2. Gesucht: %3.", "Right button, wrong bellows direction: %1 on %2. Wanted: %3.", "Botón correcto, fuelle al revés: %1 al %2. Se busca: %3.", "Richtiga Knopf, foische Bolgrichtung: %1 auf %2. Gsuacht: %3."),
 ("PassScore", "Durchgang %1, Tempo %2, Schritt %3-%4\n%5 von %6 gleich richtig\nFalsche Knöpfe: %7\nFalsche Balgrichtung: %8\nZeit: %9 s", "Pass %1, tempo %2, events %3-%4\n%5 of %6 right at the first try\nWrong buttons: %7\nWrong bellows direction: %8\nTime: %9 s", "Pasada %1, tempo %2, pasos %3-%4\n%5 de %6 bien a la primera\nBotones equivocados: %7\nFuelle al revés: %8\nTiempo: %9 s", "Durchgang %1, Tempo %2, Schritt %3-%4\n%5 vo %6 glei richtig\nFoische Knöpf: %7\nFoische Bolgrichtung: %8\nZeit: %9 s"),
 ("ChartCaption", "Verlauf: gleich richtig (Balken), Tempo (Linie)", "History: right at first try (bars), tempo (line)", "Historial: bien a la primera (barras), tempo (línea)", "Verlauf: glei richtig (Balkn), Tempo (Linie)"),
 ("MsgTempoUp", "Fehlerfrei! Jetzt Tempo %1.", "Clean! Tempo %1 now.", "¡Sin fallos! Ahora tempo %1.", "Fehlerfrei! Jetzt Tempo %1."),
 ("MsgHistoryLine", "Übungsverlauf %1: Zeile %2 ist beschädigt und wird übergangen.", "Practice history %1: line %2 is damaged and skipped.", "Historial %1: la línea %2 está dañada y se omite.", "Übungsverlauf %1: Zeiln %2 is hi und werd übergonga."),
 # sound
 ("AudioBufferAuto", "Tonpuffer: automatisch", "Audio buffer: automatic", "Búfer de audio: automático", "Tonpuffa: automatisch"),
 ("AudioBufferMs", "Tonpuffer: %1 ms", "Audio buffer: %1 ms", "Búfer de audio: %1 ms", "Tonpuffa: %1 ms"),
 ("TipAudioBuffer", "Kleiner klingt schneller, größer knackt nicht, wenn der Rechner zu tun hat; automatisch fängt klein an und wächst bei Aussetzern", "Smaller sounds sooner, larger never crackles on a busy computer; automatic starts small and grows after dropouts", "Más pequeño suena antes, más grande no cruje con el ordenador ocupado; automático empieza pequeño y crece tras cortes", "Kleana klingt schnella, greßa kracht ned, wenn da Rechna wos z'toa hod; automatisch fangt kloa o und wachst bei Aussetzer"),
 # sound: the audio buffer's policy and what the sound output reports
 ("AudioRunningGiven", "Eingebauter Synthesizer: %1, Tonpuffer %2 ms verlangt, %3 ms vom Server gegeben, Verzögerung %4 ms, %5 Aussetzer", "Built-in synthesizer: %1, buffer %2 ms asked, %3 ms given by the server, latency %4 ms, %5 dropouts", "Sintetizador integrado: %1, búfer %2 ms pedido, %3 ms dado por el servidor, latencia %4 ms, %5 cortes", "Eibauta Synthesizer: %1, Tonpuffa %2 ms valangt, %3 ms vom Server griagt, Verzögerung %4 ms, %5 Aussetzer"),
 ("MsgAudioBufferRefused", "AUDIO-BUFFER: %1 abgelehnt (%2); der Tonpuffer ist automatisch.", "AUDIO-BUFFER: %1 is refused (%2); the audio buffer is automatic.", "AUDIO-BUFFER: %1 rechazado (%2); el búfer de audio es automático.", "AUDIO-BUFFER: %1 abglehnt (%2); da Tonpuffa is automatisch."),
 ("WhyNotWholeMs", "keine ganze Zahl von Millisekunden", "not a whole number of milliseconds", "no es un número entero de milisegundos", "koa ganze Zoi vo Millisekundn"),
 ("WhyBufferBelow", "weniger als %1 ms", "less than %1 ms", "menos de %1 ms", "weniga ois %1 ms"),
 ("WhyBufferAbove", "mehr als %1 ms, die größte Menge, die die Ausgabe hält", "more than %1 ms, the most the output holds", "más de %1 ms, lo máximo que admite la salida", "mehra ois %1 ms, mehra hoit de Ausgob ned"),
 ("MsgAudioGrew", "Aussetzer: der automatische Tonpuffer ist auf %1 ms gewachsen.", "Dropouts: the automatic audio buffer grew to %1 ms.", "Cortes: el búfer de audio automático creció a %1 ms.", "Aussetzer: da automatische Tonpuffa is auf %1 ms gwachsn."),
 ("MsgSynthProblem", "Synthesizer: %1", "Synthesizer: %1", "Sintetizador: %1", "Synthesizer: %1"),
 # MIDI files
 ("MidiExportCaption", "MIDI speichern", "Save as MIDI", "Guardar como MIDI", "MIDI speichern"),
 ("MidiImportCaption", "MIDI laden", "Import MIDI", "Importar MIDI", "MIDI ladn"),
 ("TipMidiExport", "Die geladene Aufnahme als MIDI-Datei speichern (jeder Schritt ein Schlag im eingestellten Tempo)", "Save the loaded record as a MIDI file (each event one beat at the tempo set)", "Guardar la grabación cargada como archivo MIDI (cada paso un tiempo al tempo puesto)", "De gladne Aufnahm ois MIDI-Datei speichern (a jeder Schritt a Schlag im eigstejtn Tempo)"),
 ("TipMidiImport", "Eine MIDI-Datei in den Editor holen: Knöpfe und Balgrichtung werden für die Stimmung gewählt", "Bring a MIDI file into the editor: buttons and bellows are chosen for the tuning", "Traer un archivo MIDI al editor: se eligen botones y fuelle para la afinación", "A MIDI-Datei in'n Editor holn: Knöpf und Bolgrichtung wern für d' Stimmung gwählt"),
 ("MsgImported", "%1 Schritte geholt, %2 Balgwechsel, %3 Hinweise. Bitte prüfen und speichern.", "Imported %1 events, %2 bellows changes, %3 notes. Check them and save.", "%1 pasos importados, %2 cambios de fuelle, %3 avisos. Revísalos y guarda.", "%1 Schritt gholt, %2 Bolgwechsl, %3 Hinweis. Bitte prüfn und speichern."),
 ("MsgImportRefused", "%1 nicht geholt: %2.", "%1 was not imported: %2.", "%1 no se importó: %2.", "%1 ned gholt: %2."),
 ("MsgImportUnsaved", "Der Editor hat %1 ungespeicherte Änderungen: erst speichern oder abbrechen.", "The editor holds %1 unsaved changes: save or cancel first.", "El editor tiene %1 cambios sin guardar: guarda o cancela antes.", "Da Editor hod %1 ungspeicherte Änderunga: zerst speichern oder obbrecha."),
 ("WhyNotAPlainFile", "keine gewöhnliche Datei oder größer als 16 MB", "not a plain file, or larger than 16 MB", "no es un archivo normal o pasa de 16 MB", "koa gwöhnliche Datei oder greßa ois 16 MB"),
 ("WhyNoPlayableNote", "keine Note hat einen Knopf in dieser Stimmung", "no note has a button in this tuning", "ninguna nota tiene botón en esta afinación", "koa Note hod an Knopf in dera Stimmung"),
 ("MsgExportedMidi", "%1 geschrieben (%2 Schritte).", "Wrote %1 (%2 events).", "%1 escrito (%2 pasos).", "%1 gschriebn (%2 Schritt)."),
 ("MidiPartAll", "Alle Spuren", "All tracks", "Todas las pistas", "Olle Spurn"),
 ("MidiPartQuestion", "Welche Spur oder welcher Kanal?", "Which track or channel?", "¿Qué pista o canal?", "Wöche Spur oder wöcha Kanal?"),
 # messages
 ("MsgNameEmpty", "Bitte zuerst einen Namen für die Aufnahme eingeben.", "Type a name for the record first.", "Escribe primero un nombre para la grabación.", "Zerst an Nama für d' Aufnahm eigebn."),
 ("MsgNameUnsafe", "Der Name geht nicht: %1.", "The name cannot be used: %1.", "El nombre no sirve: %1.", "Der Nama geht ned: %1."),
 ("WhyCharacter", "er enthält das Zeichen %1", "it contains the character %1", "contiene el carácter %1", "er hod des Zeichn %1 drin"),
 ("WhyControl", "er enthält ein Steuerzeichen", "it contains a control character", "contiene un carácter de control", "er hod a Steierzeichn drin"),
 ("WhyDots", "er enthält \"..\"", "it contains \"..\"", "contiene \"..\"", "er hod \"..\" drin"),
 ("WhyLong", "er ist länger als 100 Zeichen", "it is longer than 100 characters", "tiene más de 100 caracteres", "er is länga ois 100 Zeichn"),
 ("WhyUnknownChar", "ein Zeichen lässt sich nicht speichern", "a character cannot be stored", "un carácter no se puede guardar", "a Zeichn lasst se ned speichern"),
 ("MsgFileExists", "%1 gibt es schon. Noch einmal Speichern ersetzt die Datei.", "%1 exists already. Click Save again to replace it.", "%1 ya existe. Pulsa Guardar otra vez para reemplazarlo.", "%1 gibt's scho. No amoi Speichern ersetzt de Datei."),
 ("MsgSaved", "%1 gespeichert.", "Saved %1.", "%1 guardado.", "%1 gspeichert."),
 ("MsgEmptyRecord", "Die Aufnahme ist leer: zuerst einen Akkord oder eine Pause übernehmen.", "The record is empty: take a chord or a rest first.", "La grabación está vacía: añade primero un acorde o una pausa.", "D' Aufnahm is laar: zerst an Akkord oder a Pausn nehma."),
 ("MsgCancelAsk", "%1 Änderungen gingen verloren. Noch einmal Abbrechen verwirft sie.", "%1 changes would be lost. Click Cancel again to discard them.", "Se perderían %1 cambios. Pulsa Cancelar otra vez para descartarlos.", "%1 Änderunga gangatn verlorn. No amoi Obbrecha schmeißt's weg."),
 ("MsgPlayNothing", "Es ist nichts geladen: zuerst eine Aufnahme oder Lektion in der Liste anklicken.", "Nothing is loaded: click a record or lesson in the list first.", "No hay nada cargado: elige primero una grabación o lección de la lista.", "Es is nix gladn: zerst a Aufnahm oder Lektion in da Listn oklicka."),
 ("MsgLimit", "Nichts übernommen: die Aufnahme hat %1 Schritte, oder diese Aufnahme-Sitzung hat ihre %2 Übernahmen verbraucht.", "Nothing was added: the record holds %1 events, or this recording has used its %2 commits.", "No se añadió nada: la grabación tiene %1 pasos, o esta sesión ya usó sus %2 entradas.", "Nix gnumma: d' Aufnahm hod %1 Schritt, oder de Sitzung hod ihre %2 Übernahma scho verbraucht."),
 ("MsgNoChord", "Kein Akkord gedrückt: zuerst Knöpfe anklicken.", "No chord is pending: click buttons first.", "No hay ningún acorde: pulsa primero los botones.", "Koa Akkord druckt: zerst Knöpf oklicka."),
 ("MsgRestWithChord", "Zuerst den Akkord übernehmen (oder loslassen), dann die Pause.", "Take the chord first (or let it go), then add the rest.", "Primero pasa el acorde (o suéltalo), luego la pausa.", "Zerst an Akkord nehma (oder auslassn), dann d' Pausn."),
 ("MsgRecordRefused", "%1 wurde nicht geladen: %2.", "%1 was not loaded: %2.", "%1 no se cargó: %2.", "%1 is ned gladn worn: %2."),
 ("WhyUnreadable", "die Datei lässt sich nicht lesen", "the file cannot be read", "no se puede leer el archivo", "de Datei lasst se ned lesn"),
 ("WhyEmptyFile", "die Datei ist leer", "the file is empty", "el archivo está vacío", "de Datei is laar"),
 ("WhyTooManyEvents", "mehr als 200 Schritte (Zeile %1)", "more than 200 events (line %1)", "más de 200 pasos (línea %1)", "mehra ois 200 Schritt (Zeiln %1)"),
 ("WhyNoPrefix", "der Name beginnt nicht mit Record oder Lesson", "its name does not begin with Record or Lesson", "el nombre no empieza por Record o Lesson", "da Nama fangt ned mit Record oder Lesson o"),
 ("WhyLayout", "Notenbelegung %1: %2", "note layout %1: %2", "disposición de notas %1: %2", "Notnbelegung %1: %2"),
 ("WhyLayoutName", "kein einfacher Dateiname", "not a plain file name", "no es un nombre de archivo simple", "koa eifacha Dateinama"),
 ("WhyLineCount", "%1 Zeilen statt %2", "%1 lines instead of %2", "%1 líneas en vez de %2", "%1 Zeiln statt %2"),
 ("MsgLayoutRefused", "Notenbelegung %1 nicht geladen: %2; die Tastatur bleibt, wie sie ist.", "Note layout %1 was not loaded: %2; the keyboard is unchanged.", "La disposición %1 no se cargó: %2; el teclado no cambia.", "Notnbelegung %1 ned gladn: %2; d' Tastatur bleibt, wia's is."),
 ("MsgLanguageRefused", "Sprachdatei %1 nicht geladen: %2; die Texte bleiben.", "Language file %1 was not loaded: %2; the texts stay as they are.", "El archivo de idioma %1 no se cargó: %2; los textos no cambian.", "Sprochdatei %1 ned gladn: %2; d' Text bleibn."),
 ("MsgNotSaved", "Nicht gespeichert (%1): %2", "Not saved (%1): %2", "No se guardó (%1): %2", "Ned gspeichert (%1): %2"),
 ("MsgMessages", "%1 Meldungen", "%1 messages", "%1 mensajes", "%1 Meldunga"),
 ("HelpChords", "Editor 1/2: Akkorde\nAkkord übernehmen (%1)\nPause, Töne klingen (%2)\nPause, Stille (%3)\nSpeichern", "Editor 1/2: chords\nTake the chord (%1)\nRest, notes ring on (%2)\nRest in silence (%3)\nSave under the name", "Editor 1/2: acordes\nPasar el acorde (%1)\nPausa, las notas suenan (%2)\nPausa en silencio (%3)\nGuardar con el nombre", "Editor 1/2: Akkorde\nAkkord nehma (%1)\nPausn, Tön klinga (%2)\nPausn, staad (%3)\nSpeichern"),
 ("HelpList", "Editor 2/2: Liste\nZeile wählen: ersetzen\ndavor einfügen\nZeile löschen\nNeu anfangen", "Editor 2/2: list\nSelect a line: replace\nInsert before it\nDelete the line\nStart afresh", "Editor 2/2: lista\nElegir línea: reemplazar\nInsertar antes\nBorrar la línea\nEmpezar de nuevo", "Editor 2/2: Listn\nZeiln wähln: ersetzn\ndavor eifüng\nZeiln löscha\nNei ofanga"),
 # the front-end contract: the instrument panel's output and what the sound output says
 ("OutputBuiltIn", "Eingebauter Synthesizer", "Built-in synthesizer", "Sintetizador integrado", "Eibauta Synthesizer"),
 ("AudioRunning", "Eingebauter Synthesizer: %1, Tonpuffer %2 ms, Verzögerung %3 ms, %4 Aussetzer", "Built-in synthesizer: %1, buffer %2 ms, latency %3 ms, %4 dropouts", "Sintetizador integrado: %1, búfer %2 ms, latencia %3 ms, %4 cortes", "Eibauta Synthesizer: %1, Tonpuffa %2 ms, Verzögerung %3 ms, %4 Aussetzer"),
 ("MsgScoredFromNextPass", "Geübt wird jetzt; gezählt wird ab dem nächsten Durchgang vom Anfang an.", "Practice is on; it is scored from the next pass, which starts at the beginning.", "La práctica está activa; se puntúa desde la próxima pasada, que empieza al principio.", "Gübt werd jetzt; zählt werd ab'm nächstn Durchgang vom Ofang o."),
 ("AudioNotRunning", "Eingebauter Synthesizer ohne Ton: %1", "Built-in synthesizer without sound: %1", "Sintetizador integrado sin sonido: %1", "Eibauta Synthesizer ohne Ton: %1"),
]

def esc(s):
    b = s.encode('cp1252')
    out = ''
    prev_hex = False
    for c in b:
        ch = chr(c)
        if c >= 0x80:
            out += '\\x%02X' % c
            prev_hex = True
            continue
        if prev_hex and ch in '0123456789abcdefABCDEF':
            out += '" "'
        prev_hex = False
        if ch == '"': out += '\\"'
        elif ch == '\\': out += '\\\\'
        elif ch == '\n': out += '\\n'
        else: out += ch
    return '"' + out + '"'

# One row a text: TEXT(Id, German, English, Spanish, Bavarian). ui_texts.h makes the ids of it,
# ui_texts.cpp the table.
rows = '// Generated by scripts/texts.py from its table; edit the table there.\n'
for t in T:
    rows += 'TEXT(%s, %s)\n' % (t[0], ', '.join(esc(x) for x in t[1:]))
import pathlib
shell = pathlib.Path(__file__).resolve().parent.parent / 'src' / 'shell'
(shell / 'ui_texts.inc').write_text(rows)
