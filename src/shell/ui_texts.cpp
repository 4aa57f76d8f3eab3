// Generated from one table; each row holds German, English, Spanish and Bavarian.
#include "shell/ui_texts.h"

#include "shell/text.h"

namespace tastrello {

namespace {

constexpr const char* kTexts[static_cast<int>(Text::Count)][4] = {
    {"Ton?", "Sound?", "\xBFSonido?", "Ton?"},               // SoundCaption
    {"Wiedergabe", "Replay", "Reproducci\xF3n", "Obspuin"},  // ReplayCaption
    {"Noten", "Notes", "Notas", "Notn"},                     // NotesCaption
    {"Nr.", "No.", "N.\xBA", "Nr."},                         // NumbersCaption
    {"Hilfe", "Help", "Ayuda", "Huif"},                      // HelpCaption
    {"Instrument w\xE4hlen", "Choose the instrument", "Elegir el instrumento",
     "Instrument aussuacha"},  // InstrumentHeading
    {"Tempo %1 (%2 pro Min.)", "Tempo %1 (%2 per min)", "Tempo %1 (%2 por min)",
     "Tempo %1 (%2 pro Minutn)"},  // TempoText
    {"Gleich geht's los: %1", "Starting in %1", "Empieza en %1", "Glei geht's los: %1"},  // CountIn
    {"Aufnehmen: Akkorde und Pausen zu einer Aufnahme zusammenstellen",
     "Record: build a record of chords and rests",
     "Grabar: crear una grabaci\xF3n de acordes y pausas",
     "Aufnehma: Akkorde und Pausn zu oana Aufnahm zammstejn"},  // TipRecord
    {"Aufnahme abbrechen (fragt nach, wenn \xC4nderungen verloren gingen)",
     "Cancel the recording (asks first when changes would be lost)",
     "Cancelar la grabaci\xF3n (pregunta antes si se perder\xED"
     "an cambios)",
     "Aufnahm obbrecha (frogt noch, wenn \xC4nderunga verlorn gang)"},  // TipCancel
    {"Unter dem eingegebenen Namen speichern", "Save under the name typed",
     "Guardar con el nombre escrito", "Unter dem Nama speichern"},  // TipSave
    {"Den gedr\xFC"
     "ckten Akkord in die Liste \xFC"
     "bernehmen",
     "Take the chord you pressed into the list", "Pasar el acorde pulsado a la lista",
     "Den druckten Akkord in d' Listn nehma"},  // TipCommit
    {"Pause, in der die T\xF6ne weiterklingen", "Rest during which the notes ring on",
     "Pausa en la que las notas siguen sonando",
     "Pausn, in der d' T\xF6n weiterklinga"},  // TipRestPlay
    {"Pause in Stille", "Rest in silence", "Pausa en silencio",
     "Pausn, gonz staad"},  // TipRestMute
    {"Die gew\xE4hlte Zeile l\xF6schen", "Delete the selected line", "Borrar la l\xEDnea elegida",
     "De gw\xE4hlte Zeiln l\xF6scha"},  // TipDelete
    {"Jetzt: die gew\xE4hlte Zeile ersetzen (Klick: davor einf\xFCgen)",
     "Now: replace the selected line (click: insert before it)",
     "Ahora: reemplazar la l\xEDnea elegida (clic: insertar antes)",
     "Jetzt: de gw\xE4hlte Zeiln ersetzn (Klick: davor eif\xFCng)"},  // TipReplace
    {"Jetzt: vor der gew\xE4hlten Zeile einf\xFCgen (Klick: ersetzen)",
     "Now: insert before the selected line (click: replace it)",
     "Ahora: insertar antes de la l\xEDnea elegida (clic: reemplazar)",
     "Jetzt: vor da gw\xE4hltn Zeiln eif\xFCng (Klick: ersetzn)"},  // TipInsert
    {"Die Liste leeren und neu anfangen", "Empty the list and start afresh",
     "Vaciar la lista y empezar de nuevo", "D' Listn ausleern und nei ofanga"},  // TipAfresh
    {"Die geladene Aufnahme abspielen", "Play the loaded record",
     "Reproducir la grabaci\xF3n cargada", "De gladne Aufnahm obspuin"},  // TipPlay
    {"Anhalten; Abspielen macht an derselben Stelle weiter", "Pause; Play goes on from here",
     "Pausa; Reproducir sigue desde aqu\xED", "Ohoitn; Obspuin mocht do weiter"},  // TipPause
    {"Beenden und an den Anfang zur\xFC"
     "ck",
     "Stop and go back to the start", "Parar y volver al principio",
     "Aufh\xF6rn und zruck zum Ofang"},  // TipStop
    {"Jetzt: vorw\xE4rts in Schleife (Klick: hin und zur\xFC"
     "ck)",
     "Now: forwards in a loop (click: back and forth)",
     "Ahora: hacia delante en bucle (clic: ida y vuelta)",
     "Jetzt: vorw\xE4rts im Kroas (Klick: hin und zruck)"},  // TipSingle
    {"Jetzt: hin und zur\xFC"
     "ck (Klick: vorw\xE4rts in Schleife)",
     "Now: back and forth (click: forwards in a loop)",
     "Ahora: ida y vuelta (clic: hacia delante en bucle)",
     "Jetzt: hin und zruck (Klick: vorw\xE4rts im Kroas)"},  // TipRepeat
    {"Das Instrumentenfeld zeigen", "Show the instrument panel", "Mostrar el panel del instrumento",
     "S' Instrumentnfeld zoang"},  // TipExpand
    {"Das Instrumentenfeld ausblenden", "Hide the instrument panel",
     "Ocultar el panel del instrumento", "S' Instrumentnfeld wegdoa"},  // TipCollapse
    {"Voriges Instrument", "Previous instrument", "Instrumento anterior",
     "Voriges Instrument"},  // TipMinus
    {"N\xE4"
     "chstes Instrument",
     "Next instrument", "Instrumento siguiente",
     "N\xE4"
     "chsts Instrument"},                               // TipPlus
    {"Englisch", "English", "Ingl\xE9s", "Englisch"},   // TipEnglish
    {"Spanisch", "Spanish", "Espa\xF1ol", "Spanisch"},  // TipSpanish
    {"Deutsch", "German", "Alem\xE1n", "Deitsch"},      // TipGerman
    {"\xDC"
     "ber Tastrello",
     "About Tastrello", "Acerca de Tastrello", "Iba Tastrello"},  // TipCredits
    {"T\xF6ne an oder aus", "Sound on or off", "Sonido s\xED o no",
     "T\xF6n o oder aus"},  // TipSound
    {"Beim Abspielen klingt jeder Akkord nur bis zum n\xE4"
     "chsten",
     "In replay each chord sounds only until the next",
     "Al reproducir cada acorde suena solo hasta el siguiente",
     "Beim Obspuin klingt a jeder Akkord blo\xDF bis zum n\xE4"
     "chstn"},  // TipCut
    {"Die Noten der Aufnahme zeigen", "Show the notes of the record",
     "Mostrar las notas de la grabaci\xF3n", "D' Notn vo da Aufnahm zoang"},  // TipNotes
    {"Die Nummern der Schritte zeigen", "Show the step numbers",
     "Mostrar los n\xFAmeros de los pasos", "D' Nummern vo de Schritt zoang"},  // TipNumbers
    {"Hilfetafeln des Editors zeigen", "Show the editor's help boards",
     "Mostrar los paneles de ayuda del editor", "D' Huiftafln vom Editor zoang"},  // TipHelp
    {"Lektionen statt eigener Aufnahmen zeigen", "Show lessons instead of your records",
     "Mostrar lecciones en vez de tus grabaciones",
     "Lektiona statt de eignen Aufnahma zoang"},  // TipLessons
    {"Tempo: weiter rechts ist schneller", "Tempo: further right is faster",
     "Tempo: m\xE1s a la derecha es m\xE1s r\xE1pido",
     "Tempo: weida rechts is schnella"},  // TipSpeed
    {"Name der Aufnahme", "Name of the record", "Nombre de la grabaci\xF3n",
     "Nama vo da Aufnahm"},  // TipName
    {"%1, Zug (Balg \xF6"
     "ffnen)",
     "%1, pull (bellows opening)", "%1, abrir el fuelle", "%1, Zug (Bolg aufzoign)"},  // TipPull
    {"%1, Druck (Balg schlie\xDF"
     "en)",
     "%1, push (bellows closing)", "%1, cerrar el fuelle",
     "%1, Druck (Bolg zuadruckn)"},  // TipPush
    {"Alle Meldungen seit dem Start", "Every message since the start",
     "Todos los mensajes desde el inicio", "Olle Meldunga seit'm Start"},  // TipStatus
    {"Zug", "pull", "abrir", "Zug"},                                       // BellowsPull
    {"Druck", "push", "cerrar", "Druck"},                                  // BellowsPush
    {"Zug und Druck gemischt!", "pull and push mixed!",
     "\xA1"
     "abrir y cerrar mezclados!",
     "Zug und Druck gmischt!"},  // BellowsBoth
    {"Tastatur spielt", "Keyboard plays", "El teclado toca",
     "Tastatur spuit"},                                                       // KeyboardPlayCaption
    {"Tasten zeigen", "Show the keys", "Mostrar las teclas", "Tastn zoang"},  // KeyLettersCaption
    {"Die Tastatur als Akkordeon: drei Tastenreihen, Leertaste gedr\xFC"
     "ckt = Druck",
     "The keyboard as the accordion: three rows of keys, Space held = push",
     "El teclado como acorde\xF3n: tres filas de teclas, espacio pulsado = cerrar",
     "D' Tastatur ois Ziach: drei Tastnreihn, Leertastn druckt = Druck"},  // TipKeyboardPlay
    {"Auf jedem Knopf die Taste zeigen, die ihn spielt",
     "Show on each button the key that plays it", "Mostrar en cada bot\xF3n la tecla que lo toca",
     "Auf jedm Knopf d' Tastn zoang, de'n spuit"},  // TipKeyLetters
    {"Kein MIDI-Eingang", "No MIDI input", "Sin entrada MIDI", "Koa MIDI-Eingang"},  // MidiInNone
    {"Tastenbelegung Zeile %1 \xFC"
     "bersprungen: %2.",
     "Key map line %1 skipped: %2.", "L\xEDnea %1 del mapa de teclas omitida: %2.",
     "Tastnbelegung Zeiln %1 \xFC"
     "bersprunga: %2."},  // MsgKeyMapLine
    {"Note %1 hat keinen Knopf in dieser Stimmung; sie klingt trotzdem.",
     "Note %1 has no button in this tuning; it sounds all the same.",
     "La nota %1 no tiene bot\xF3n en esta afinaci\xF3n; suena de todos modos.",
     "Note %1 hod koan Knopf in dera Stimmung; sie klingt trotzdem."},  // MsgNoButtonForPitch
    {"MIDI-Eingang: %1", "MIDI input: %1", "Entrada MIDI: %1", "MIDI-Eingang: %1"},  // MsgMidiIn
    {"Stimmung: die der Aufnahme", "Tuning: each record's own",
     "Afinaci\xF3n: la de cada grabaci\xF3n", "Stimmung: de vo da Aufnahm"},  // TuningOwn
    {"Eine andere Stimmung auf die Kn\xF6pfe legen; die geladene Aufnahme spielt darauf",
     "Put another tuning on the buttons; the loaded record plays on it",
     "Poner otra afinaci\xF3n en los botones; la grabaci\xF3n cargada suena en ella",
     "A andre Stimmung auf d' Kn\xF6pf legn; de gladne Aufnahm spuit drauf"},  // TipTuning
    {"Griffschrift", "Tablature", "Tablatura", "Griffschrift"},                // TabCaption
    {"Die geladene Aufnahme als Griffschrift, die dem Abspielen folgt; als PDF oder SVG "
     "speichern",
     "The loaded record as tablature that follows the replay; save it as PDF or SVG",
     "La grabaci\xF3n cargada como tablatura que sigue la reproducci\xF3n; guardarla como "
     "PDF o SVG",
     "De gladne Aufnahm ois Griffschrift, de beim Obspuin mitgeht; ois PDF oder SVG "
     "speichern"},  // TipTab
    {"%1 geschrieben (%2 Seiten).", "Wrote %1 (%2 pages).", "%1 escrito (%2 p\xE1ginas).",
     "%1 gschriebn (%2 Seitn)."},  // MsgExported
    {"Ein Instrument direkt w\xE4hlen", "Pick an instrument directly",
     "Elegir un instrumento directamente", "A Instrument glei aussuacha"},  // TipInstruments
    {"\xDC"
     "ben: wartet auf mich",
     "Practice: waits for me", "Practicar: me espera",
     "\xDC"
     "ben: wart auf mi"},  // PracticeCaption
    {"Das Abspielen wartet, bis du jeden Akkord richtig spielst (Tastatur, MIDI oder Maus), "
     "und z\xE4hlt jeden Durchgang",
     "Replay waits until you play each chord right (keyboard, MIDI or mouse) and scores each "
     "pass",
     "La reproducci\xF3n espera a que toques bien cada acorde (teclado, MIDI o rat\xF3n) y "
     "punt\xFA"
     "a cada pasada",
     "S' Obspuin wart, bis'd an jedn Akkord richtig spuist (Tastatur, MIDI oder Maus), und "
     "z\xE4hlt jedn Durchgang"},                                                // TipPractice
    {"Tempo steigern", "Raise the tempo", "Subir el tempo", "Tempo steigern"},  // RampCaption
    {"Langsamer anfangen und nach fehlerfreien Durchg\xE4ngen schneller werden, bis zum Tempo, "
     "das jetzt eingestellt ist",
     "Start slower and speed up after clean passes, up to the tempo set now",
     "Empezar m\xE1s despacio y acelerar tras pasadas limpias, hasta el tempo puesto ahora",
     "Langsama ofanga und noch fehlerfreie Durchg\xE4ng schnella wern, bis zum Tempo, des "
     "jetzt eigstejt is"},  // TipRampOff
    {"Tempo %1 bis %2: nach %3 fehlerfreien Durchg\xE4ngen eine Stufe schneller",
     "Tempo %1 to %2: one step faster after %3 clean passes",
     "Tempo %1 a %2: un paso m\xE1s r\xE1pido tras %3 pasadas limpias",
     "Tempo %1 bis %2: noch %3 fehlerfreie Durchg\xE4ng a Stufn schnella"},  // TipRampOn
    {"Einz\xE4hlen", "Count in", "Contar antes", "Eiz\xE4hln"},              // CountInCaption
    {"Vier Schl\xE4ge vorz\xE4hlen, bevor es losgeht", "Count four clicks before the first chord",
     "Contar cuatro golpes antes del primer acorde",
     "Vier Schl\xE4g vorz\xE4hln, bevor's losgeht"},        // TipCountIn
    {"Metronom", "Metronome", "Metr\xF3nomo", "Metronom"},  // MetronomeCaption
    {"Ein Klick auf jedem Schritt (Schlagzeug, MIDI-Kanal 10)",
     "A click on every step (percussion, MIDI channel 10)",
     "Un golpe en cada paso (percusi\xF3n, canal MIDI 10)",
     "A Klick auf jedm Schritt (Schlogzeig, MIDI-Kanal 10)"},  // TipMetronome
    {"Von", "From", "Desde", "Vo"},                            // SectionFirstCaption
    {"Bis", "To", "Hasta", "Bis"},                             // SectionLastCaption
    {"Alles", "All", "Todo", "Ois"},                           // SectionAllCaption
    {"Der Abschnitt beginnt bei der gew\xE4hlten Zeile; Abspielen und \xDC"
     "ben wiederholen ihn",
     "The section begins at the selected line; replay and practice loop it",
     "La secci\xF3n empieza en la l\xEDnea elegida; reproducir y practicar la repiten",
     "Da Abschnitt fangt bei da gw\xE4hltn Zeiln o; Obspuin und \xDC"
     "ben wiederholn'n"},  // TipSectionFirst
    {"Der Abschnitt endet bei der gew\xE4hlten Zeile", "The section ends at the selected line",
     "La secci\xF3n termina en la l\xEDnea elegida",
     "Da Abschnitt h\xF6rt bei da gw\xE4hltn Zeiln auf"},  // TipSectionLast
    {"Wieder die ganze Aufnahme", "The whole record again", "De nuevo toda la grabaci\xF3n",
     "Wieda de gonze Aufnahm"},  // TipSectionAll
    {"Abschnitt: Schritt %1 bis %2.", "Section: events %1 to %2.", "Secci\xF3n: pasos %1 a %2.",
     "Abschnitt: Schritt %1 bis %2."},  // MsgSection
    {"Zuerst eine Zeile der Noten anklicken.", "Click a line of the notes first.",
     "Elige primero una l\xEDnea de las notas.",
     "Zerst a Zeiln vo de Notn oklicka."},                                  // MsgSectionPick
    {"Spiel: %1 (%2)", "Play: %1 (%2)", "Toca: %1 (%2)", "Spui: %1 (%2)"},  // MsgPlayChord
    {"Falscher Knopf: %1. Gesucht: %2 (%3).", "Wrong button: %1. Wanted: %2 (%3).",
     "Bot\xF3n equivocado: %1. Se busca: %2 (%3).",
     "Foischa Knopf: %1. Gsuacht: %2 (%3)."},  // MsgWrongButton
    {"Richtiger Knopf, falsche Balgrichtung: %1 auf %2. Gesucht: %3.",
     "Right button, wrong bellows direction: %1 on %2. Wanted: %3.",
     "Bot\xF3n correcto, fuelle al rev\xE9s: %1 al %2. Se busca: %3.",
     "Richtiga Knopf, foische Bolgrichtung: %1 auf %2. Gsuacht: %3."},  // MsgWrongDirection
    {"Durchgang %1, Tempo %2, Schritt %3-%4\n%5 von %6 gleich richtig\nFalsche Kn\xF6pfe: "
     "%7\nFalsche Balgrichtung: %8\nZeit: %9 s",
     "Pass %1, tempo %2, events %3-%4\n%5 of %6 right at the first try\nWrong buttons: "
     "%7\nWrong bellows direction: %8\nTime: %9 s",
     "Pasada %1, tempo %2, pasos %3-%4\n%5 de %6 bien a la primera\nBotones equivocados: "
     "%7\nFuelle al rev\xE9s: %8\nTiempo: %9 s",
     "Durchgang %1, Tempo %2, Schritt %3-%4\n%5 vo %6 glei richtig\nFoische Kn\xF6pf: "
     "%7\nFoische Bolgrichtung: %8\nZeit: %9 s"},  // PassScore
    {"Verlauf: gleich richtig (Balken), Tempo (Linie)",
     "History: right at first try (bars), tempo (line)",
     "Historial: bien a la primera (barras), tempo (l\xEDnea)",
     "Verlauf: glei richtig (Balkn), Tempo (Linie)"},  // ChartCaption
    {"Fehlerfrei! Jetzt Tempo %1.", "Clean! Tempo %1 now.", "\xA1Sin fallos! Ahora tempo %1.",
     "Fehlerfrei! Jetzt Tempo %1."},  // MsgTempoUp
    {"\xDC"
     "bungsverlauf %1: Zeile %2 ist besch\xE4"
     "digt und wird \xFC"
     "bergangen.",
     "Practice history %1: line %2 is damaged and skipped.",
     "Historial %1: la l\xEDnea %2 est\xE1 da\xF1"
     "ada y se omite.",
     "\xDC"
     "bungsverlauf %1: Zeiln %2 is hi und werd \xFC"
     "bergonga."},  // MsgHistoryLine
    {"Tonpuffer: automatisch", "Audio buffer: automatic",
     "B\xFA"
     "fer de audio: autom\xE1tico",
     "Tonpuffer: automatisch"},  // AudioBufferAuto
    {"Tonpuffer: %1 ms", "Audio buffer: %1 ms",
     "B\xFA"
     "fer de audio: %1 ms",
     "Tonpuffer: %1 ms"},  // AudioBufferMs
    {"Kleiner klingt schneller, gr\xF6\xDF"
     "er knackt nicht, wenn der Rechner zu tun hat; automatisch f\xE4ngt klein an und w\xE4"
     "chst bei Aussetzern",
     "Smaller sounds sooner, larger never crackles on a busy computer; automatic starts small "
     "and grows after dropouts",
     "M\xE1s peque\xF1o suena antes, m\xE1s grande no cruje con el ordenador ocupado; "
     "autom\xE1tico empieza peque\xF1o y crece tras cortes",
     "Kleana klingt schnella, gre\xDF"
     "a kracht ned, wenn da Rechna wos z'toa hod; automatisch fangt kloa o und wachst bei "
     "Aussetzer"},                                                              // TipAudioBuffer
    {"MIDI speichern", "Save as MIDI", "Guardar como MIDI", "MIDI speichern"},  // MidiExportCaption
    {"MIDI laden", "Import MIDI", "Importar MIDI", "MIDI ladn"},                // MidiImportCaption
    {"Die geladene Aufnahme als MIDI-Datei speichern (jeder Schritt ein Schlag im "
     "eingestellten Tempo)",
     "Save the loaded record as a MIDI file (each event one beat at the tempo set)",
     "Guardar la grabaci\xF3n cargada como archivo MIDI (cada paso un tiempo al tempo puesto)",
     "De gladne Aufnahm ois MIDI-Datei speichern (a jeder Schritt a Schlag im eigstejtn "
     "Tempo)"},  // TipMidiExport
    {"Eine MIDI-Datei in den Editor holen: Kn\xF6pfe und Balgrichtung werden f\xFCr die "
     "Stimmung gew\xE4hlt",
     "Bring a MIDI file into the editor: buttons and bellows are chosen for the tuning",
     "Traer un archivo MIDI al editor: se eligen botones y fuelle para la afinaci\xF3n",
     "A MIDI-Datei in'n Editor holn: Kn\xF6pf und Bolgrichtung wern f\xFCr d' Stimmung "
     "gw\xE4hlt"},  // TipMidiImport
    {"%1 Schritte geholt, %2 Balgwechsel, %3 Hinweise. Bitte pr\xFC"
     "fen und speichern.",
     "Imported %1 events, %2 bellows changes, %3 notes. Check them and save.",
     "%1 pasos importados, %2 cambios de fuelle, %3 avisos. Rev\xEDsalos y guarda.",
     "%1 Schritt gholt, %2 Bolgwechsl, %3 Hinweis. Bitte pr\xFC"
     "fn und speichern."},  // MsgImported
    {"%1 nicht geholt: %2.", "%1 was not imported: %2.", "%1 no se import\xF3: %2.",
     "%1 ned gholt: %2."},  // MsgImportRefused
    {"Der Editor hat %1 ungespeicherte \xC4nderungen: erst speichern oder abbrechen.",
     "The editor holds %1 unsaved changes: save or cancel first.",
     "El editor tiene %1 cambios sin guardar: guarda o cancela antes.",
     "Da Editor hod %1 ungspeicherte \xC4nderunga: zerst speichern oder obbrecha."},  // MsgImportUnsaved
    {"keine gew\xF6hnliche Datei oder gr\xF6\xDF"
     "er als 16 MB",
     "not a plain file, or larger than 16 MB", "no es un archivo normal o pasa de 16 MB",
     "koa gw\xF6hnliche Datei oder gre\xDF"
     "a ois 16 MB"},  // WhyNotAPlainFile
    {"keine Note hat einen Knopf in dieser Stimmung", "no note has a button in this tuning",
     "ninguna nota tiene bot\xF3n en esta afinaci\xF3n",
     "koa Note hod an Knopf in dera Stimmung"},  // WhyNoPlayableNote
    {"%1 geschrieben (%2 Schritte).", "Wrote %1 (%2 events).", "%1 escrito (%2 pasos).",
     "%1 gschriebn (%2 Schritt)."},                                   // MsgExportedMidi
    {"Alle Spuren", "All tracks", "Todas las pistas", "Olle Spurn"},  // MidiPartAll
    {"Welche Spur oder welcher Kanal?", "Which track or channel?", "\xBFQu\xE9 pista o canal?",
     "W\xF6"
     "che Spur oder w\xF6"
     "cha Kanal?"},  // MidiPartQuestion
    {"Bitte zuerst einen Namen f\xFCr die Aufnahme eingeben.", "Type a name for the record first.",
     "Escribe primero un nombre para la grabaci\xF3n.",
     "Zerst an Nama f\xFCr d' Aufnahm eigebn."},  // MsgNameEmpty
    {"Der Name geht nicht: %1.", "The name cannot be used: %1.", "El nombre no sirve: %1.",
     "Der Nama geht ned: %1."},  // MsgNameUnsafe
    {"er enth\xE4lt das Zeichen %1", "it contains the character %1",
     "contiene el car\xE1"
     "cter %1",
     "er hod des Zeichn %1 drin"},  // WhyCharacter
    {"er enth\xE4lt ein Steuerzeichen", "it contains a control character",
     "contiene un car\xE1"
     "cter de control",
     "er hod a Steierzeichn drin"},  // WhyControl
    {"er enth\xE4lt \"..\"", "it contains \"..\"", "contiene \"..\"",
     "er hod \"..\" drin"},  // WhyDots
    {"er ist l\xE4nger als 100 Zeichen", "it is longer than 100 characters",
     "tiene m\xE1s de 100 caracteres", "er is l\xE4nga ois 100 Zeichn"},  // WhyLong
    {"ein Zeichen l\xE4sst sich nicht speichern", "a character cannot be stored",
     "un car\xE1"
     "cter no se puede guardar",
     "a Zeichn lasst se ned speichern"},  // WhyUnknownChar
    {"%1 gibt es schon. Noch einmal Speichern ersetzt die Datei.",
     "%1 exists already. Click Save again to replace it.",
     "%1 ya existe. Pulsa Guardar otra vez para reemplazarlo.",
     "%1 gibt's scho. No amoi Speichern ersetzt de Datei."},             // MsgFileExists
    {"%1 gespeichert.", "Saved %1.", "%1 guardado.", "%1 gspeichert."},  // MsgSaved
    {"Die Aufnahme ist leer: zuerst einen Akkord oder eine Pause \xFC"
     "bernehmen.",
     "The record is empty: take a chord or a rest first.",
     "La grabaci\xF3n est\xE1 vac\xED"
     "a: a\xF1"
     "ade primero un acorde o una pausa.",
     "D' Aufnahm is laar: zerst an Akkord oder a Pausn nehma."},  // MsgEmptyRecord
    {"%1 \xC4nderungen gingen verloren. Noch einmal Abbrechen verwirft sie.",
     "%1 changes would be lost. Click Cancel again to discard them.",
     "Se perder\xED"
     "an %1 cambios. Pulsa Cancelar otra vez para descartarlos.",
     "%1 \xC4nderunga gangatn verlorn. No amoi Obbrecha schmei\xDFt's weg."},  // MsgCancelAsk
    {"Es ist nichts geladen: zuerst eine Aufnahme oder Lektion in der Liste anklicken.",
     "Nothing is loaded: click a record or lesson in the list first.",
     "No hay nada cargado: elige primero una grabaci\xF3n o lecci\xF3n de la lista.",
     "Es is nix gladn: zerst a Aufnahm oder Lektion in da Listn oklicka."},  // MsgPlayNothing
    {"Nichts \xFC"
     "bernommen: die Aufnahme hat %1 Schritte, oder diese Aufnahme-Sitzung hat ihre %2 \xDC"
     "bernahmen verbraucht.",
     "Nothing was added: the record holds %1 events, or this recording has used its %2 "
     "commits.",
     "No se a\xF1"
     "adi\xF3 nada: la grabaci\xF3n tiene %1 pasos, o esta sesi\xF3n ya us\xF3 sus %2 "
     "entradas.",
     "Nix gnumma: d' Aufnahm hod %1 Schritt, oder de Sitzung hod ihre %2 \xDC"
     "bernahma scho verbraucht."},  // MsgLimit
    {"Kein Akkord gedr\xFC"
     "ckt: zuerst Kn\xF6pfe anklicken.",
     "No chord is pending: click buttons first.",
     "No hay ning\xFAn acorde: pulsa primero los botones.",
     "Koa Akkord druckt: zerst Kn\xF6pf oklicka."},  // MsgNoChord
    {"Zuerst den Akkord \xFC"
     "bernehmen (oder loslassen), dann die Pause.",
     "Take the chord first (or let it go), then add the rest.",
     "Primero pasa el acorde (o su\xE9ltalo), luego la pausa.",
     "Zerst an Akkord nehma (oder auslassn), dann d' Pausn."},  // MsgRestWithChord
    {"%1 wurde nicht geladen: %2.", "%1 was not loaded: %2.", "%1 no se carg\xF3: %2.",
     "%1 is ned gladn worn: %2."},  // MsgRecordRefused
    {"die Datei l\xE4sst sich nicht lesen", "the file cannot be read",
     "no se puede leer el archivo", "de Datei lasst se ned lesn"},  // WhyUnreadable
    {"die Datei ist leer", "the file is empty", "el archivo est\xE1 vac\xEDo",
     "de Datei is laar"},  // WhyEmptyFile
    {"mehr als 200 Schritte (Zeile %1)", "more than 200 events (line %1)",
     "m\xE1s de 200 pasos (l\xEDnea %1)", "mehra ois 200 Schritt (Zeiln %1)"},  // WhyTooManyEvents
    {"der Name beginnt nicht mit Record oder Lesson",
     "its name does not begin with Record or Lesson", "el nombre no empieza por Record o Lesson",
     "da Nama fangt ned mit Record oder Lesson o"},  // WhyNoPrefix
    {"Notenbelegung %1: %2", "note layout %1: %2", "disposici\xF3n de notas %1: %2",
     "Notnbelegung %1: %2"},  // WhyLayout
    {"kein einfacher Dateiname", "not a plain file name", "no es un nombre de archivo simple",
     "koa eifacha Dateinama"},  // WhyLayoutName
    {"%1 Zeilen statt %2", "%1 lines instead of %2", "%1 l\xEDneas en vez de %2",
     "%1 Zeiln statt %2"},  // WhyLineCount
    {"Notenbelegung %1 nicht geladen: %2; die Tastatur bleibt, wie sie ist.",
     "Note layout %1 was not loaded: %2; the keyboard is unchanged.",
     "La disposici\xF3n %1 no se carg\xF3: %2; el teclado no cambia.",
     "Notnbelegung %1 ned gladn: %2; d' Tastatur bleibt, wia's is."},  // MsgLayoutRefused
    {"Sprachdatei %1 nicht geladen: %2; die Texte bleiben.",
     "Language file %1 was not loaded: %2; the texts stay as they are.",
     "El archivo de idioma %1 no se carg\xF3: %2; los textos no cambian.",
     "Sprochdatei %1 ned gladn: %2; d' Text bleibn."},  // MsgLanguageRefused
    {"Nicht gespeichert (%1): %2", "Not saved (%1): %2", "No se guard\xF3 (%1): %2",
     "Ned gspeichert (%1): %2"},                                    // MsgNotSaved
    {"%1 Meldungen", "%1 messages", "%1 mensajes", "%1 Meldunga"},  // MsgMessages
    {"Editor 1/2: Akkorde\nAkkord \xFC"
     "bernehmen (%1)\nPause, T\xF6ne klingen (%2)\nPause, Stille (%3)\nSpeichern",
     "Editor 1/2: chords\nTake the chord (%1)\nRest, notes ring on (%2)\nRest in silence "
     "(%3)\nSave under the name",
     "Editor 1/2: acordes\nPasar el acorde (%1)\nPausa, las notas suenan (%2)\nPausa en "
     "silencio (%3)\nGuardar con el nombre",
     "Editor 1/2: Akkorde\nAkkord nehma (%1)\nPausn, T\xF6n klinga (%2)\nPausn, staad "
     "(%3)\nSpeichern"},  // HelpChords
    {"Editor 2/2: Liste\nZeile w\xE4hlen: ersetzen\ndavor einf\xFCgen\nZeile l\xF6schen\nNeu "
     "anfangen",
     "Editor 2/2: list\nSelect a line: replace\nInsert before it\nDelete the line\nStart "
     "afresh",
     "Editor 2/2: lista\nElegir l\xEDnea: reemplazar\nInsertar antes\nBorrar la "
     "l\xEDnea\nEmpezar de nuevo",
     "Editor 2/2: Listn\nZeiln w\xE4hln: ersetzn\ndavor eif\xFCng\nZeiln l\xF6scha\nNei "
     "ofanga"},  // HelpList
};

}  // namespace

UiLanguage uiLanguageOf(const std::string& languageFile) {
  const std::string name = upper(languageFile);
  if (name == "LANG_ENG.TXT") return UiLanguage::English;
  if (name == "LANG_SPA.TXT") return UiLanguage::Spanish;
  if (name == "LANG_BAY.TXT") return UiLanguage::Bavarian;
  return UiLanguage::German;
}

std::string uiText(UiLanguage language, Text id, std::initializer_list<std::string> args) {
  std::string text = kTexts[static_cast<int>(id)][static_cast<int>(language)];
  int n = 1;
  for (const auto& arg : args) {
    const std::string mark = "%" + std::to_string(n++);
    const auto at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), arg);
  }
  return text;
}

}  // namespace tastrello
