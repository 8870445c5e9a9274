<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>ChannelControls</name>
    <message>
        <source>Set voltage</source>
        <translation>Sollspannung</translation>
    </message>
    <message>
        <source>Set current</source>
        <translation>Sollstrom</translation>
    </message>
    <message>
        <source>Over-voltage</source>
        <translation>Überspannung</translation>
    </message>
    <message>
        <source>LIMITS</source>
        <translation>GRENZEN</translation>
    </message>
</context>
<context>
    <name>DataFolder</name>
    <message>
        <source>%1 (process %2 on %3)</source>
        <translation>%1 (Prozess %2 auf %3)</translation>
    </message>
    <message>
        <source>another program</source>
        <translation>ein anderes Programm</translation>
    </message>
    <message>
        <source>The data folder %1 is in use by %2.</source>
        <translation>Der Datenordner %1 wird von %2 verwendet.</translation>
    </message>
    <message>
        <source>The data folder %1 cannot be locked for this program.</source>
        <translation>Der Datenordner %1 kann für dieses Programm nicht gesperrt werden.</translation>
    </message>
    <message>
        <source>

Start read-only? (No quits.) Read-only, nothing can be recorded or saved.</source>
        <translation>

Schreibgeschützt starten? (Nein beendet.) Schreibgeschützt kann nichts aufgezeichnet oder gespeichert werden.</translation>
    </message>
    <message>
        <source>

Go on read-only? (No quits.) Read-only, nothing can be recorded or saved.</source>
        <translation>

Schreibgeschützt fortfahren? (Nein beendet.) Schreibgeschützt kann nichts aufgezeichnet oder gespeichert werden.</translation>
    </message>
</context>
<context>
    <name>Database</name>
    <message>
        <source>System cannot find [%1\mtype.mdb].
 Please copy mtype.mdb to [%1\] directory.</source>
        <translation>Das System findet [%1\mtype.mdb] nicht.
 Bitte kopieren Sie mtype.mdb in das Verzeichnis [%1\].</translation>
    </message>
    <message>
        <source>The database %1 cannot be opened: you have no permission to read it.</source>
        <translation>Die Datenbank %1 kann nicht geöffnet werden: Sie haben keine Leseberechtigung.</translation>
    </message>
    <message>
        <source>The database %1 cannot be opened (%2). It was left as it is.</source>
        <translation>Die Datenbank %1 kann nicht geöffnet werden (%2). Sie wurde unverändert gelassen.</translation>
    </message>
    <message>
        <source>The database %1 is damaged (%2). Opened read-only, it was not repaired.</source>
        <translation>Die Datenbank %1 ist beschädigt (%2). Sie wurde schreibgeschützt geöffnet und nicht repariert.</translation>
    </message>
    <message>
        <source>The database %1 cannot be written (%2).</source>
        <translation>In die Datenbank %1 kann nicht geschrieben werden (%2).</translation>
    </message>
    <message>
        <source>The database %1 was damaged (%2) and has been repaired. The damaged file was kept as %3.</source>
        <translation>Die Datenbank %1 war beschädigt (%2) und wurde repariert. Die beschädigte Datei wurde als %3 aufbewahrt.</translation>
    </message>
    <message>
        <source>It was left as it is; no copy of it could be made.</source>
        <translation>Sie wurde unverändert gelassen; es konnte keine Kopie angelegt werden.</translation>
    </message>
    <message>
        <source>It was left as it is; a copy was kept as %1.</source>
        <translation>Sie wurde unverändert gelassen; eine Kopie wurde als %1 aufbewahrt.</translation>
    </message>
    <message>
        <source>The database %1 is damaged and could not be repaired (%2). </source>
        <translation>Die Datenbank %1 ist beschädigt und konnte nicht repariert werden (%2). </translation>
    </message>
    <message>
        <source>no permission to write the file or its folder</source>
        <translation>keine Schreibberechtigung für die Datei oder ihren Ordner</translation>
    </message>
    <message>
        <source>the repaired copy could not replace the file; the original is in %1</source>
        <translation>die reparierte Kopie konnte die Datei nicht ersetzen; das Original liegt in %1</translation>
    </message>
    <message>
        <source>the backup %1 could not be written</source>
        <translation>die Sicherungskopie %1 konnte nicht geschrieben werden</translation>
    </message>
    <message>
        <source>the repaired copy failed its check: </source>
        <translation>die reparierte Kopie hat die Prüfung nicht bestanden: </translation>
    </message>
    <message>
        <source>%1 copies of damaged files were kept today already, no more are made</source>
        <translation>heute wurden bereits %1 Kopien beschädigter Dateien aufbewahrt, weitere werden nicht angelegt</translation>
    </message>
    <message>
        <source>the file has no table %1</source>
        <translation>die Datei hat keine Tabelle %1</translation>
    </message>
</context>
<context>
    <name>GraphText</name>
    <message>
        <source>Elapsed Time [Sec]</source>
        <translation>Verstrichene Zeit [s]</translation>
    </message>
    <message>
        <source>Elapsed Time [min]</source>
        <translation>Verstrichene Zeit [min]</translation>
    </message>
    <message>
        <source>Elapsed Time [Min]</source>
        <translation>Verstrichene Zeit [min]</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Total Time:</source>
        <translation>Gesamtzeit:</translation>
    </message>
    <message>
        <source>Time Slice: %1sec</source>
        <translation>Intervall: %1 s</translation>
    </message>
    <message>
        <source>Samples: %1</source>
        <translation>Messpunkte: %1</translation>
    </message>
    <message>
        <source>%1 Max:%2V %3A</source>
        <translation>%1 Max: %2 V  %3 A</translation>
    </message>
    <message>
        <source>%1 Min:%2V %3A</source>
        <translation>%1 Min: %2 V  %3 A</translation>
    </message>
    <message>
        <source>CH%1 Vol</source>
        <translation>CH%1 Spannung</translation>
    </message>
    <message>
        <source>CH%1 Cur</source>
        <translation>CH%1 Strom</translation>
    </message>
</context>
<context>
    <name>LabAddress</name>
    <message>
        <source>&apos;%1&apos; is no address of the form postgresql://user@host:port/database.</source>
        <translation>&apos;%1&apos; ist keine Adresse der Form postgresql://benutzer@host:port/datenbank.</translation>
    </message>
    <message>
        <source>A password does not belong in the address: keep it in ~/.pgpass (or the file PGPASSFILE names), where only libpq reads it.</source>
        <translation>Ein Passwort gehört nicht in die Adresse: es steht in ~/.pgpass (oder der Datei, die PGPASSFILE nennt), wo nur libpq es liest.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; names no host and database (postgresql://user@host:port/database).</source>
        <translation>&apos;%1&apos; nennt keinen Host und keine Datenbank (postgresql://benutzer@host:port/datenbank).</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not an option of the address; sslmode is.</source>
        <translation>&apos;%1&apos; ist keine Option der Adresse; sslmode ist eine.</translation>
    </message>
    <message>
        <source>sslmode is one of %1.</source>
        <translation>sslmode ist eines von %1.</translation>
    </message>
</context>
<context>
    <name>LabArchive</name>
    <message>
        <source>The lab database: %1</source>
        <translation>Die Labordatenbank: %1</translation>
    </message>
    <message>
        <source>the working table holds no points to save.</source>
        <translation>die Arbeitstabelle enthält keine Punkte zum Speichern.</translation>
    </message>
    <message>
        <source>record %1 is no longer there; save it as a new one.</source>
        <translation>Datensatz %1 ist nicht mehr vorhanden; speichern Sie ihn als neuen.</translation>
    </message>
    <message>
        <source>there is no record %1.</source>
        <translation>es gibt keinen Datensatz %1.</translation>
    </message>
    <message>
        <source>no answer in %1 s; the server may be stalled. Try again once it answers.</source>
        <translation>keine Antwort in %1 s; der Server hängt vielleicht. Versuchen Sie es wieder, sobald er antwortet.</translation>
    </message>
    <message>
        <source>the last save has had no answer yet; try again once the server answers.</source>
        <translation>das letzte Speichern hat noch keine Antwort; versuchen Sie es wieder, sobald der Server antwortet.</translation>
    </message>
</context>
<context>
    <name>LabDatabase</name>
    <message>
        <source>Qt&apos;s PostgreSQL driver is not installed (Debian: libqt6sql6-psql).</source>
        <translation>Der PostgreSQL-Treiber von Qt ist nicht installiert (Debian: libqt6sql6-psql).</translation>
    </message>
    <message>
        <source>The lab database could not be opened: %1</source>
        <translation>Die Labordatenbank konnte nicht geöffnet werden: %1</translation>
    </message>
    <message>
        <source>The lab database&apos;s version could not be read: %1</source>
        <translation>Die Version der Labordatenbank konnte nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>The lab database is of version %1, newer than this program&apos;s %2: it is left as it is. Use a newer program.</source>
        <translation>Die Labordatenbank hat Version %1, neuer als %2 dieses Programms: sie bleibt, wie sie ist. Bitte ein neueres Programm verwenden.</translation>
    </message>
    <message>
        <source>The lab database could not be brought to version %1: %2</source>
        <translation>Die Labordatenbank konnte nicht auf Version %1 gebracht werden: %2</translation>
    </message>
</context>
<context>
    <name>LocalArchive</name>
    <message>
        <source>There is no record %1.</source>
        <translation>Es gibt keinen Datensatz %1.</translation>
    </message>
</context>
<context>
    <name>Ni488Library</name>
    <message>
        <source>The GPIB driver library could not be loaded (%1). Install the NI-488.2 or linux-gpib driver to use GPIB.
%2</source>
        <translation>Die GPIB-Treiberbibliothek konnte nicht geladen werden (%1). Installieren Sie den NI-488.2- oder linux-gpib-Treiber, um GPIB zu verwenden.
%2</translation>
    </message>
</context>
<context>
    <name>RecordStore</name>
    <message>
        <source>System Error caused by %1:%2</source>
        <translation>Systemfehler %1: %2</translation>
    </message>
</context>
<context>
    <name>ReportText</name>
    <message>
        <source>The PDF file could not be written.</source>
        <translation>Die PDF-Datei konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Kanal</translation>
    </message>
    <message>
        <source>Min V</source>
        <translation>Min V</translation>
    </message>
    <message>
        <source>Max V</source>
        <translation>Max V</translation>
    </message>
    <message>
        <source>Mean V</source>
        <translation>Mittel V</translation>
    </message>
    <message>
        <source>Min A</source>
        <translation>Min A</translation>
    </message>
    <message>
        <source>Max A</source>
        <translation>Max A</translation>
    </message>
    <message>
        <source>Mean A</source>
        <translation>Mittel A</translation>
    </message>
    <message>
        <source>Charge Ah</source>
        <translation>Ladung Ah</translation>
    </message>
    <message>
        <source>Energy Wh</source>
        <translation>Energie Wh</translation>
    </message>
    <message>
        <source>Comments</source>
        <translation>Kommentare</translation>
    </message>
    <message>
        <source>Charge and energy: delivered during the record (last point less first).</source>
        <translation>Ladung und Energie: während der Aufzeichnung abgegeben (letzter Punkt minus erster).</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Ereignisse</translation>
    </message>
    <message>
        <source>… and %1 more.</source>
        <translation>… und %1 weitere.</translation>
    </message>
</context>
<context>
    <name>Sequence</name>
    <message>
        <source>&apos;%1&apos; is not an end condition (e.g. &quot;I1&lt;0.05 for 30s&quot;).</source>
        <translation>&apos;%1&apos; ist keine Endbedingung (z. B. &quot;I1&lt;0.05 for 30s&quot;).</translation>
    </message>
    <message>
        <source>&apos;%1&apos;: a channel belongs to V, I, Ah and Wh, seconds to t.</source>
        <translation>&apos;%1&apos;: ein Kanal gehört zu V, I, Ah und Wh, Sekunden zu t.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;: the time it holds is not a number of seconds.</source>
        <translation>&apos;%1&apos;: die Haltezeit ist keine Zahl von Sekunden.</translation>
    </message>
    <message>
        <source>The file is empty: a sequence begins with a header line.</source>
        <translation>Die Datei ist leer: eine Sequenz beginnt mit einer Kopfzeile.</translation>
    </message>
    <message>
        <source>Line 1: the column &apos;%1&apos; is unknown or twice.</source>
        <translation>Zeile 1: die Spalte &apos;%1&apos; ist unbekannt oder doppelt.</translation>
    </message>
    <message>
        <source>Line 1: the column &apos;%1&apos; is missing.</source>
        <translation>Zeile 1: die Spalte &apos;%1&apos; fehlt.</translation>
    </message>
    <message>
        <source>Line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
    <message>
        <source>the channel is 1 to 4.</source>
        <translation>der Kanal ist 1 bis 4.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a number.</source>
        <translation>&apos;%1&apos; ist keine Zahl.</translation>
    </message>
    <message>
        <source>the output is on, off or empty.</source>
        <translation>der Ausgang ist on, off oder leer.</translation>
    </message>
    <message>
        <source>dwell_s is a number of seconds.</source>
        <translation>dwell_s ist eine Zahl von Sekunden.</translation>
    </message>
    <message>
        <source>ramp is yes or no.</source>
        <translation>ramp ist yes oder no.</translation>
    </message>
    <message>
        <source>the step number is missing.</source>
        <translation>die Schrittnummer fehlt.</translation>
    </message>
    <message>
        <source>the rows of step %1 differ in dwell, ramp, block or until.</source>
        <translation>die Zeilen von Schritt %1 unterscheiden sich in dwell, ramp, block oder until.</translation>
    </message>
    <message>
        <source>step %1 sets channel %2 twice.</source>
        <translation>Schritt %1 setzt Kanal %2 zweimal.</translation>
    </message>
    <message>
        <source>a sequence has at most %1 steps.</source>
        <translation>eine Sequenz hat höchstens %1 Schritte.</translation>
    </message>
    <message>
        <source>the block &apos;%1&apos; is not in one piece.</source>
        <translation>der Block &apos;%1&apos; ist nicht zusammenhängend.</translation>
    </message>
    <message>
        <source>repeat gives a count for each of the row&apos;s blocks, or for the innermost.</source>
        <translation>repeat gibt eine Anzahl für jeden Block der Zeile oder für den innersten.</translation>
    </message>
    <message>
        <source>repeat is a whole number of times, 1 or more.</source>
        <translation>repeat ist eine ganze Zahl, 1 oder mehr.</translation>
    </message>
    <message>
        <source>the block &apos;%1&apos; repeats %2 times, not %3.</source>
        <translation>der Block &apos;%1&apos; wiederholt sich %2-mal, nicht %3-mal.</translation>
    </message>
    <message>
        <source>The file has no step.</source>
        <translation>Die Datei hat keinen Schritt.</translation>
    </message>
    <message>
        <source>Step %1: %2</source>
        <translation>Schritt %1: %2</translation>
    </message>
    <message>
        <source>the supply has no channel %1.</source>
        <translation>das Gerät hat keinen Kanal %1.</translation>
    </message>
    <message>
        <source>%1 V on channel %2 is beyond 0 to %3 V.</source>
        <translation>%1 V an Kanal %2 liegt außerhalb von 0 bis %3 V.</translation>
    </message>
    <message>
        <source>%1 A on channel %2 is beyond 0 to %3 A.</source>
        <translation>%1 A an Kanal %2 liegt außerhalb von 0 bis %3 A.</translation>
    </message>
    <message>
        <source>the supply has no channel %1 to watch.</source>
        <translation>das Gerät hat keinen Kanal %1 zum Überwachen.</translation>
    </message>
    <message>
        <source>a ramp needs a dwell to ramp over.</source>
        <translation>eine Rampe braucht eine Haltezeit, über die sie läuft.</translation>
    </message>
    <message>
        <source>step %1 switches the output on and off: it is one switch for the supply.</source>
        <translation>Schritt %1 schaltet den Ausgang ein und aus: er ist ein Schalter für das ganze Gerät.</translation>
    </message>
    <message>
        <source>&apos;%1&apos;: a supply&apos;s name goes before the colon.</source>
        <translation>&apos;%1&apos;: vor dem Doppelpunkt steht der Name eines Geräts.</translation>
    </message>
    <message>
        <source>a supply&apos;s name has no colon.</source>
        <translation>der Name eines Geräts enthält keinen Doppelpunkt.</translation>
    </message>
    <message>
        <source>there is no supply &apos;%1&apos; on the bench.</source>
        <translation>am Messplatz gibt es kein Gerät &apos;%1&apos;.</translation>
    </message>
    <message>
        <source>%1 %2 on channel %3 is above the limit of %4 %2 set for it.</source>
        <translation>%1 %2 an Kanal %3 liegt über dem dafür gesetzten Grenzwert von %4 %2.</translation>
    </message>
    <message>
        <source>the output is off, so &apos;%1&apos; is never measured.</source>
        <translation>der Ausgang ist aus, daher wird &apos;%1&apos; nie gemessen.</translation>
    </message>
    <message>
        <source>The condition &apos;%1&apos;: %2</source>
        <translation>Die Bedingung &apos;%1&apos;: %2</translation>
    </message>
</context>
<context>
    <name>SequenceStatus</name>
    <message>
        <source>Not running</source>
        <translation>Läuft nicht</translation>
    </message>
    <message>
        <source>Running</source>
        <translation>Läuft</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Completed</source>
        <translation>Abgeschlossen</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Gestoppt</translation>
    </message>
    <message>
        <source>Step %1 of %2</source>
        <translation>Schritt %1 von %2</translation>
    </message>
    <message>
        <source>%1 elapsed</source>
        <translation>%1 vergangen</translation>
    </message>
    <message>
        <source>%1 left</source>
        <translation>%1 verbleibend</translation>
    </message>
    <message>
        <source>Sequence running: step %1 of %2</source>
        <translation>Sequenz läuft: Schritt %1 von %2</translation>
    </message>
    <message>
        <source>Sequence paused: step %1 of %2</source>
        <translation>Sequenz angehalten: Schritt %1 von %2</translation>
    </message>
    <message>
        <source>A sequence is in control of the supply. Stop the sequence?</source>
        <translation>Eine Sequenz steuert das Gerät. Die Sequenz stoppen?</translation>
    </message>
    <message>
        <source>It was stopped for a change on the panel.</source>
        <translation>Sie wurde für eine Änderung am Bedienfeld gestoppt.</translation>
    </message>
</context>
<context>
    <name>trq::AboutDialog</name>
    <message>
        <source>About POWER_TRQ</source>
        <translation>Über POWER_TRQ</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&amp;System Info...</source>
        <translation>&amp;Systeminfo...</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>System Information Is Unavailable At This Time</source>
        <translation>Systeminformationen sind derzeit nicht verfügbar</translation>
    </message>
</context>
<context>
    <name>trq::AddSupplyDialog</name>
    <message>
        <source>Add supply</source>
        <translation>Versorgung hinzufügen</translation>
    </message>
    <message>
        <source>Serial port (RS232, USB)</source>
        <translation>Serielle Schnittstelle (RS232, USB)</translation>
    </message>
    <message>
        <source>GPIB</source>
        <translation>GPIB</translation>
    </message>
    <message>
        <source>its model</source>
        <translation>ihr Modell</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Anschluss:</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>Baudrate:</translation>
    </message>
    <message>
        <source>Board:</source>
        <translation>Karte:</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>Adresse:</translation>
    </message>
    <message>
        <source>Link:</source>
        <translation>Verbindung:</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>A name may not contain &quot;%1&quot;.</source>
        <translation>Ein Name darf kein „%1“ enthalten.</translation>
    </message>
    <message>
        <source>Please choose the port the supply is on.</source>
        <translation>Bitte den Anschluss der Versorgung wählen.</translation>
    </message>
</context>
<context>
    <name>trq::AutoRangeDialog</name>
    <message>
        <source>Auto Mode</source>
        <translation>Auto-Modus</translation>
    </message>
</context>
<context>
    <name>trq::AutomationDialog</name>
    <message>
        <source>Serve the supply to scripts</source>
        <translation>Netzgerät für Skripte freigeben</translation>
    </message>
    <message>
        <source>Allow clients from other machines</source>
        <translation>Clients anderer Rechner zulassen</translation>
    </message>
    <message>
        <source>Automation server</source>
        <translation>Automatisierungsserver</translation>
    </message>
    <message>
        <source>Anyone who can reach this computer over the network can then switch outputs.</source>
        <translation>Jeder, der diesen Rechner über das Netzwerk erreicht, kann dann Ausgänge schalten.</translation>
    </message>
    <message>
        <source>Port (raw SCPI socket):</source>
        <translation>Port (Raw-SCPI-Socket):</translation>
    </message>
    <message>
        <source>Close clients idle for:</source>
        <translation>Untätige Clients schließen nach:</translation>
    </message>
</context>
<context>
    <name>trq::Bench</name>
    <message>
        <source>No bench named &quot;%1&quot; is kept; kept are: %2</source>
        <translation>Kein Messplatz namens „%1“ ist gespeichert; gespeichert sind: %2</translation>
    </message>
    <message>
        <source>The bench &quot;%1&quot; cannot be opened: %2</source>
        <translation>Der Messplatz „%1“ kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>is off line</source>
        <translation>ist offline</translation>
    </message>
    <message>
        <source>was switched off with the whole bench</source>
        <translation>wurde mit dem ganzen Messplatz ausgeschaltet</translation>
    </message>
    <message>
        <source>No bench named &quot;%1&quot; is kept; none is.</source>
        <translation>Kein Messplatz namens „%1“ ist gespeichert; es ist keiner gespeichert.</translation>
    </message>
    <message>
        <source>No supply of the bench is on line: nothing can be recorded.</source>
        <translation>Kein Netzgerät des Messplatzes ist online: es kann nichts aufgezeichnet werden.</translation>
    </message>
    <message>
        <source>The recording has stopped: the points of its last step could not be stored in %1 (%2). The points stored before them are kept.</source>
        <translation>Die Aufzeichnung wurde angehalten: Die Punkte ihres letzten Schritts konnten nicht in %1 gespeichert werden (%2). Die zuvor gespeicherten Punkte bleiben erhalten.</translation>
    </message>
    <message>
        <source>The recording cannot start: %1</source>
        <translation>Die Aufzeichnung kann nicht beginnen: %1</translation>
    </message>
    <message>
        <source>a power order is running</source>
        <translation>eine Schaltfolge läuft</translation>
    </message>
    <message>
        <source>supply %1</source>
        <translation>Versorgung %1</translation>
    </message>
    <message>
        <source>%1 has not been identified yet</source>
        <translation>%1 ist noch nicht erkannt</translation>
    </message>
</context>
<context>
    <name>trq::BenchPanels</name>
    <message>
        <source>serial number %1</source>
        <translation>Seriennummer %1</translation>
    </message>
    <message>
        <source>%1 is on the bench already.</source>
        <translation>%1 ist schon im Messplatz.</translation>
    </message>
    <message>
        <source>off line</source>
        <translation>offline</translation>
    </message>
    <message>
        <source>detecting…</source>
        <translation>wird erkannt…</translation>
    </message>
    <message>
        <source>on line</source>
        <translation>online</translation>
    </message>
    <message>
        <source>reconnecting…</source>
        <translation>verbindet neu…</translation>
    </message>
    <message>
        <source>The power order cannot run: %1</source>
        <translation>Die Schaltfolge kann nicht laufen: %1</translation>
    </message>
    <message>
        <source>Power order</source>
        <translation>Schaltfolge</translation>
    </message>
    <message>
        <source>The order the outputs go on, with waits; they go off in reverse.
For example: %1 on, 200 ms, %2 on
Supplies: %3</source>
        <translation>Die Reihenfolge, in der die Ausgänge einschalten, mit Wartezeiten; aus geht es umgekehrt.
Zum Beispiel: %1 on, 200 ms, %2 on
Versorgungen: %3</translation>
    </message>
    <message>
        <source>The power order cannot be kept: %1</source>
        <translation>Die Schaltfolge kann nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>No port is left to serve %1 on.</source>
        <translation>Für %1 ist kein Port mehr frei.</translation>
    </message>
    <message>
        <source>%1 cannot leave the bench while it records or runs its power order.</source>
        <translation>%1 kann den Messplatz nicht verlassen, solange er aufzeichnet oder seine Schaltfolge läuft.</translation>
    </message>
    <message>
        <source>%1 cannot leave the bench while a sequence sets or watches it.</source>
        <translation>%1 kann den Messplatz nicht verlassen, solange eine Sequenz ihn stellt oder beobachtet.</translation>
    </message>
    <message>
        <source>All supplies</source>
        <translation>Alle Geräte</translation>
    </message>
</context>
<context>
    <name>trq::FrontPanel</name>
    <message>
        <source>TRACK</source>
        <translation>TRACK</translation>
    </message>
    <message>
        <source>SERIES</source>
        <translation>SERIES</translation>
    </message>
    <message>
        <source>Control</source>
        <translation>Bedienfeld</translation>
    </message>
    <message>
        <source>OUTPUT</source>
        <translation>AUSGANG</translation>
    </message>
    <message>
        <source>Clear Protection</source>
        <translation>Schutz löschen</translation>
    </message>
    <message>
        <source>Reset Ah/Wh</source>
        <translation>Ah/Wh löschen</translation>
    </message>
    <message>
        <source>MODE</source>
        <translation>MODUS</translation>
    </message>
    <message>
        <source>INDEP</source>
        <translation>INDEP</translation>
    </message>
    <message>
        <source>PARALLEL</source>
        <translation>PARALLEL</translation>
    </message>
    <message>
        <source>Sets</source>
        <translation>Geräte</translation>
    </message>
    <message>
        <source>AUTO RUN</source>
        <translation>AUTO-LAUF</translation>
    </message>
    <message>
        <source>Delay (x 100ms):</source>
        <translation>Verzögerung (x 100ms):</translation>
    </message>
    <message>
        <source>Memory:</source>
        <translation>Speicher:</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Ändern</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Recall</source>
        <translation>Abrufen</translation>
    </message>
    <message>
        <source>%1 W
%2 Ah   %3 Wh</source>
        <translation>%1 W
%2 Ah   %3 Wh</translation>
    </message>
    <message>
        <source>LIMIT TRIPPED</source>
        <translation>GRENZE ÜBERSCHRITTEN</translation>
    </message>
    <message>
        <source>LIMITS</source>
        <translation>GRENZEN</translation>
    </message>
</context>
<context>
    <name>trq::GpibSettingsDialog</name>
    <message>
        <source>Simulated supply</source>
        <translation>Simuliertes Netzgerät</translation>
    </message>
    <message>
        <source>Config GPIB</source>
        <translation>GPIB konfigurieren</translation>
    </message>
    <message>
        <source>Board</source>
        <translation>GPIB-Karte</translation>
    </message>
    <message>
        <source>Primary address</source>
        <translation>Primäradresse</translation>
    </message>
</context>
<context>
    <name>trq::GraphSeries</name>
    <message>
        <source>Record...</source>
        <translation>Läuft...</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
</context>
<context>
    <name>trq::GraphWindow</name>
    <message>
        <source>Cursor Information</source>
        <translation>Cursor-Information</translation>
    </message>
    <message>
        <source>Measurements</source>
        <translation>Messungen</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Graphic Record</source>
        <translation>Grafische Aufzeichnung</translation>
    </message>
    <message>
        <source>Voltage</source>
        <translation>Spannung</translation>
    </message>
    <message>
        <source>Current</source>
        <translation>Strom</translation>
    </message>
    <message>
        <source>Power</source>
        <translation>Leistung</translation>
    </message>
    <message>
        <source>Charge</source>
        <translation>Ladung</translation>
    </message>
    <message>
        <source>Energy</source>
        <translation>Energie</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Einrichten</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Return</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Drucken</translation>
    </message>
    <message>
        <source>Report...</source>
        <translation>Bericht...</translation>
    </message>
    <message>
        <source>Time Len</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>Right axis</source>
        <translation>Rechte Achse</translation>
    </message>
    <message>
        <source>Graph Operations</source>
        <translation>Grafikfunktionen</translation>
    </message>
    <message>
        <source>Zoom</source>
        <translation>Zoomen</translation>
    </message>
    <message>
        <source>Pan</source>
        <translation>Verschieben</translation>
    </message>
    <message>
        <source>Cursor Coordinates</source>
        <translation>Cursor-Koordinaten</translation>
    </message>
    <message>
        <source>Cursor Measurements</source>
        <translation>Cursor-Messungen</translation>
    </message>
    <message>
        <source>X Position:</source>
        <translation>X-Position:</translation>
    </message>
    <message>
        <source>Y Position:</source>
        <translation>Y-Position:</translation>
    </message>
    <message>
        <source>Period:</source>
        <translation>Periode:</translation>
    </message>
    <message>
        <source>Amplitude:</source>
        <translation>Amplitude:</translation>
    </message>
    <message>
        <source>gap</source>
        <translation>Lücke</translation>
    </message>
    <message>
        <source>%1 points%2</source>
        <translation>%1 Punkte%2</translation>
    </message>
    <message>
        <source> (about)</source>
        <translation> (ca.)</translation>
    </message>
    <message>
        <source>Mean: %1 %2</source>
        <translation>Mittel: %1 %2</translation>
    </message>
    <message>
        <source>Min: %1 %2</source>
        <translation>Min: %1 %2</translation>
    </message>
    <message>
        <source>Max: %1 %2</source>
        <translation>Max: %1 %2</translation>
    </message>
    <message>
        <source>Integral: %1 Ah</source>
        <translation>Integral: %1 Ah</translation>
    </message>
    <message>
        <source>Integral: %1 Wh</source>
        <translation>Integral: %1 Wh</translation>
    </message>
    <message>
        <source>Plase Turn on Device into Output(Run) Mode</source>
        <translation>Bitte schalten Sie zuerst den Ausgang ein.</translation>
    </message>
    <message>
        <source>Plase setup the time length of record first.</source>
        <translation>Bitte stellen Sie zuerst die Aufzeichnungsdauer ein.</translation>
    </message>
    <message>
        <source>If you change record scale, system will reset display </source>
        <translation>Wenn Sie das Zeitraster ändern, setzt das System die Anzeige zurück </translation>
    </message>
    <message>
        <source>You must do record data first and then try this function again.</source>
        <translation>Zeichnen Sie zuerst Daten auf und versuchen Sie diese Funktion dann erneut.</translation>
    </message>
    <message>
        <source>Do you want to save current record?</source>
        <translation>Möchten Sie die aktuelle Aufzeichnung speichern?</translation>
    </message>
    <message>
        <source>Do you want to replace existing data with current record?</source>
        <translation>Möchten Sie die vorhandenen Daten durch die aktuelle Aufzeichnung ersetzen?</translation>
    </message>
    <message>
        <source>Do you want to delete Record of [Rec No: %1 Start Time:%2]</source>
        <translation>Datensatz [Nr. %1, Startzeit: %2] löschen?</translation>
    </message>
    <message>
        <source>Please Record or Load existing data first!</source>
        <translation>Bitte zuerst aufzeichnen oder vorhandene Daten laden!</translation>
    </message>
    <message>
        <source>The printer could not be opened.</source>
        <translation>Der Drucker konnte nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>The page could not be printed.</source>
        <translation>Die Seite konnte nicht gedruckt werden.</translation>
    </message>
    <message>
        <source>PDF (*.pdf)</source>
        <translation>PDF (*.pdf)</translation>
    </message>
    <message>
        <source>The report could not be written: </source>
        <translation>Der Bericht konnte nicht geschrieben werden: </translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>Minimum</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Mittelwert</translation>
    </message>
    <message>
        <source>POWER_TRQ test report</source>
        <translation>POWER_TRQ-Prüfbericht</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Modell</translation>
    </message>
    <message>
        <source>Interface</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Datensatz</translation>
    </message>
    <message>
        <source>(not saved)</source>
        <translation>(nicht gespeichert)</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Scale</source>
        <translation>Zeitraster</translation>
    </message>
    <message>
        <source>Point operation</source>
        <translation>Verdichtung</translation>
    </message>
    <message>
        <source>Points</source>
        <translation>Punkte</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV-Dateien (*.csv)</translation>
    </message>
    <message>
        <source>Export failed: </source>
        <translation>Export fehlgeschlagen: </translation>
    </message>
    <message>
        <source>Print failed: </source>
        <translation>Drucken fehlgeschlagen: </translation>
    </message>
    <message>
        <source>Supply</source>
        <translation>Versorgung</translation>
    </message>
    <message>
        <source>Step %1</source>
        <translation>Schritt %1</translation>
    </message>
</context>
<context>
    <name>trq::InstrumentSession</name>
    <message>
        <source>Remaining about %1 secs...</source>
        <translation>Noch etwa %1 s...</translation>
    </message>
    <message>
        <source>The supply came back with its output off</source>
        <translation>Das Netzgerät ist mit ausgeschaltetem Ausgang zurückgekehrt</translation>
    </message>
    <message>
        <source>The program was closed.</source>
        <translation>Das Programm wurde beendet.</translation>
    </message>
    <message>
        <source>The supply was reset.</source>
        <translation>Das Gerät wurde zurückgesetzt.</translation>
    </message>
    <message>
        <source>The link to the supply was lost.</source>
        <translation>Die Verbindung zum Gerät ist verloren.</translation>
    </message>
    <message>
        <source>A sequence is running on this supply: stop it first.</source>
        <translation>Auf diesem Gerät läuft eine Sequenz: bitte zuerst stoppen.</translation>
    </message>
</context>
<context>
    <name>trq::LabRecords</name>
    <message>
        <source>lab database</source>
        <translation>Labordatenbank</translation>
    </message>
    <message>
        <source>lab database: %1 points waiting</source>
        <translation>Labordatenbank: %1 Punkte warten</translation>
    </message>
</context>
<context>
    <name>trq::LimitAction</name>
    <message>
        <source>log only</source>
        <translation>nur protokollieren</translation>
    </message>
    <message>
        <source>message</source>
        <translation>Meldung</translation>
    </message>
    <message>
        <source>output off</source>
        <translation>Ausgang aus</translation>
    </message>
    <message>
        <source>stop recording</source>
        <translation>Aufzeichnung stoppen</translation>
    </message>
    <message>
        <source>output off and stop recording</source>
        <translation>Ausgang aus und Aufzeichnung stoppen</translation>
    </message>
    <message>
        <source>all outputs off on the bench</source>
        <translation>alle Ausgänge des Messplatzes aus</translation>
    </message>
</context>
<context>
    <name>trq::LimitsDialog</name>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Limits</source>
        <translation>Grenzwerte</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Kanal</translation>
    </message>
    <message>
        <source>Quantity</source>
        <translation>Messgröße</translation>
    </message>
    <message>
        <source>Lower</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>Upper</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Hold [s]</source>
        <translation>Halten [s]</translation>
    </message>
    <message>
        <source>Action</source>
        <translation>Aktion</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Row %1: give a lower bound, an upper bound or both, as numbers, the lower below the upper.</source>
        <translation>Zeile %1: Geben Sie eine untere Grenze, eine obere Grenze oder beide als Zahlen an, die untere kleiner als die obere.</translation>
    </message>
    <message>
        <source>A value out of its bounds for the hold time trips the action once; an empty bound is no bound. Charge and energy count from the panel&apos;s Reset Ah/Wh. The rules belong to this supply; another model has its own.</source>
        <translation>Ein Wert, der für die Haltezeit außerhalb seiner Grenzen liegt, löst die Aktion einmal aus; eine leere Grenze ist keine Grenze. Ladung und Energie zählen ab „Ah/Wh löschen“ im Bedienfeld. Die Regeln gehören zu diesem Netzgerät; ein anderes Modell hat eigene.</translation>
    </message>
    <message>
        <source>Limits of %1</source>
        <translation>Grenzwerte von %1</translation>
    </message>
</context>
<context>
    <name>trq::MainWindow</name>
    <message>
        <source>GPIB</source>
        <translation>GPIB</translation>
    </message>
    <message>
        <source>COM</source>
        <translation>COM</translation>
    </message>
    <message>
        <source>OnOffLine</source>
        <translation>Ein/Aus</translation>
    </message>
    <message>
        <source>SaveMemory</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>RecallMemory</source>
        <translation>Abrufen</translation>
    </message>
    <message>
        <source>Delay</source>
        <translation>Verzögerung</translation>
    </message>
    <message>
        <source>ReadTimes</source>
        <translation>Lesezeit</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Ausgang</translation>
    </message>
    <message>
        <source>AutoRun</source>
        <translation>Auto-Lauf</translation>
    </message>
    <message>
        <source>ClearError</source>
        <translation>Fehler löschen</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Interface</source>
        <translation>&amp;Schnittstelle</translation>
    </message>
    <message>
        <source>&amp;GPIB...</source>
        <translation>&amp;GPIB...</translation>
    </message>
    <message>
        <source>&amp;RS232...</source>
        <translation>&amp;RS232...</translation>
    </message>
    <message>
        <source>&amp;USB...</source>
        <translation>&amp;USB...</translation>
    </message>
    <message>
        <source>Reconnect a&amp;utomatically</source>
        <translation>Automatisch &amp;neu verbinden</translation>
    </message>
    <message>
        <source>&amp;Automation server...</source>
        <translation>&amp;Automatisierungsserver...</translation>
    </message>
    <message>
        <source>&amp;Lab feed (MQTT)...</source>
        <translation>&amp;Labor-Feed (MQTT)...</translation>
    </message>
    <message>
        <source>&amp;Depart</source>
        <translation>&amp;Modelle</translation>
    </message>
    <message>
        <source>F&amp;unction</source>
        <translation>&amp;Funktion</translation>
    </message>
    <message>
        <source>&amp;Save Memory</source>
        <translation>&amp;Speicher sichern</translation>
    </message>
    <message>
        <source>&amp;Recall Memory</source>
        <translation>Speicher &amp;abrufen</translation>
    </message>
    <message>
        <source>&amp;Delay</source>
        <translation>&amp;Verzögerung</translation>
    </message>
    <message>
        <source>Read &amp;Times</source>
        <translation>Lese&amp;zeit</translation>
    </message>
    <message>
        <source>&amp;Action</source>
        <translation>&amp;Aktion</translation>
    </message>
    <message>
        <source>Out &amp;Mode</source>
        <translation>Ausgangs&amp;modus</translation>
    </message>
    <message>
        <source>&amp;INDEP</source>
        <translation>&amp;INDEP</translation>
    </message>
    <message>
        <source>&amp;PARALLEL</source>
        <translation>&amp;PARALLEL</translation>
    </message>
    <message>
        <source>&amp;TRACK</source>
        <translation>&amp;TRACK</translation>
    </message>
    <message>
        <source>&amp;Auto Mode...</source>
        <translation>&amp;Auto-Modus...</translation>
    </message>
    <message>
        <source>&amp;Output</source>
        <translation>Aus&amp;gang</translation>
    </message>
    <message>
        <source>Auto &amp;Run</source>
        <translation>Auto-&amp;Lauf</translation>
    </message>
    <message>
        <source>&amp;Clear Error of Protection</source>
        <translation>Schutz&amp;fehler löschen</translation>
    </message>
    <message>
        <source>&amp;Record</source>
        <translation>Auf&amp;zeichnung</translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>S&amp;topp</translation>
    </message>
    <message>
        <source>Set&amp;up</source>
        <translation>&amp;Einrichten</translation>
    </message>
    <message>
        <source>S&amp;ave</source>
        <translation>Spei&amp;chern</translation>
    </message>
    <message>
        <source>&amp;Load</source>
        <translation>&amp;Laden</translation>
    </message>
    <message>
        <source>Li&amp;mits...</source>
        <translation>&amp;Grenzwerte...</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>A&amp;nsicht</translation>
    </message>
    <message>
        <source>&amp;Control</source>
        <translation>&amp;Bedienfeld</translation>
    </message>
    <message>
        <source>&amp;Wave</source>
        <translation>&amp;Kurve</translation>
    </message>
    <message>
        <source>T&amp;abular Data</source>
        <translation>&amp;Tabelle</translation>
    </message>
    <message>
        <source>&amp;Toolbar</source>
        <translation>&amp;Symbolleiste</translation>
    </message>
    <message>
        <source>Toolbar &amp;Captions</source>
        <translation>Symbolleisten-B&amp;eschriftung</translation>
    </message>
    <message>
        <source>&amp;Status Bar</source>
        <translation>Status&amp;leiste</translation>
    </message>
    <message>
        <source>&amp;Normal Size</source>
        <translation>&amp;Normalgröße</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>Sp&amp;rache</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About POWER_TRQ</source>
        <translation>Ü&amp;ber POWER_TRQ</translation>
    </message>
    <message>
        <source>Debug</source>
        <translation>Debug-Protokoll</translation>
    </message>
    <message>
        <source>The language changes to %1 at the next start of POWER_TRQ.</source>
        <translation>Die Sprache wechselt beim nächsten Start von POWER_TRQ zu %1.</translation>
    </message>
    <message>
        <source>&amp;System language</source>
        <translation>&amp;Systemsprache</translation>
    </message>
    <message>
        <source>On line</source>
        <translation>Online</translation>
    </message>
    <message>
        <source>Reconnecting…</source>
        <translation>Verbinde neu…</translation>
    </message>
    <message>
        <source>Off line</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>Link lost — reconnecting…</source>
        <translation>Verbindung verloren — verbinde neu…</translation>
    </message>
    <message>
        <source>%1  CH%2: %L3 %4 beyond %L5 %4 (%6)</source>
        <translation>%1  CH%2: %L3 %4 jenseits %L5 %4 (%6)</translation>
    </message>
    <message>
        <source>Limit tripped: </source>
        <translation>Grenzwert überschritten: </translation>
    </message>
    <message>
        <source>Limits</source>
        <translation>Grenzwerte</translation>
    </message>
    <message>
        <source>Saved %1 as record %2</source>
        <translation>%1 als Datensatz %2 gespeichert</translation>
    </message>
    <message>
        <source>A record part could not be saved: </source>
        <translation>Ein Teil der Aufzeichnung konnte nicht gespeichert werden: </translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Symbolleiste</translation>
    </message>
    <message>
        <source>%1  The supply came back with its output off: nothing is measured until it is switched on again. A running recording goes on and marks the time as a gap.</source>
        <translation>%1  Das Netzgerät ist mit ausgeschaltetem Ausgang zurückgekehrt: Bis er wieder eingeschaltet wird, wird nichts gemessen. Eine laufende Aufzeichnung geht weiter und markiert die Zeit als Lücke.</translation>
    </message>
    <message>
        <source>The supply came back with its output off</source>
        <translation>Das Netzgerät ist mit ausgeschaltetem Ausgang zurückgekehrt</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Recording %1, points: %2</source>
        <translation>Aufzeichnung %1, Punkte: %2</translation>
    </message>
    <message>
        <source>%1, serial number %2</source>
        <translation>%1, Seriennummer %2</translation>
    </message>
    <message>
        <source>&amp;Polling</source>
        <translation>Ab&amp;frage</translation>
    </message>
    <message>
        <source>&amp;Specified cadence</source>
        <translation>&amp;Spezifizierter Takt</translation>
    </message>
    <message>
        <source>&amp;Fast, as the wire allows</source>
        <translation>&amp;Schnell, so schnell die Leitung erlaubt</translation>
    </message>
    <message>
        <source>BenchOn</source>
        <translation>Platz ein</translation>
    </message>
    <message>
        <source>BenchOff</source>
        <translation>Platz aus</translation>
    </message>
    <message>
        <source>Add &amp;supply...</source>
        <translation>&amp;Versorgung hinzufügen...</translation>
    </message>
    <message>
        <source>Re&amp;move supply</source>
        <translation>Versorgung &amp;entfernen</translation>
    </message>
    <message>
        <source>&amp;Bench on in order</source>
        <translation>&amp;Messplatz der Reihe nach ein</translation>
    </message>
    <message>
        <source>Bench o&amp;ff in reverse</source>
        <translation>Messplatz umgekehrt a&amp;us</translation>
    </message>
    <message>
        <source>&amp;Power order...</source>
        <translation>&amp;Schaltfolge...</translation>
    </message>
    <message>
        <source>Se&amp;quence...</source>
        <translation>Se&amp;quenz...</translation>
    </message>
    <message>
        <source>The program was closed.</source>
        <translation>Das Programm wurde geschlossen.</translation>
    </message>
    <message>
        <source>Record st&amp;ore...</source>
        <translation>Datensatz&amp;ablage...</translation>
    </message>
</context>
<context>
    <name>trq::MqttDialog</name>
    <message>
        <source>Publish to the lab&apos;s broker</source>
        <translation>Beim Labor-Broker veröffentlichen</translation>
    </message>
    <message>
        <source>Lab feed (MQTT)</source>
        <translation>Labor-Feed (MQTT)</translation>
    </message>
    <message>
        <source>this machine&apos;s name</source>
        <translation>Name dieses Rechners</translation>
    </message>
    <message>
        <source>the system&apos;s certificates</source>
        <translation>Zertifikate des Systems</translation>
    </message>
    <message>
        <source>Broker:</source>
        <translation>Broker:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Station:</source>
        <translation>Station:</translation>
    </message>
    <message>
        <source>CA file:</source>
        <translation>CA-Datei:</translation>
    </message>
    <message>
        <source>User:</source>
        <translation>Benutzer:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>Readings go to powertrq/&lt;station&gt;/&lt;model&gt;/&lt;channel&gt;/{voltage,current,power}, the state and events beside them. A broker that is away only costs retries.</source>
        <translation>Messwerte gehen an powertrq/&lt;station&gt;/&lt;model&gt;/&lt;channel&gt;/{voltage,current,power}, Zustand und Ereignisse daneben. Ein nicht erreichbarer Broker kostet nur Wiederholungen.</translation>
    </message>
    <message>
        <source>Announce the supplies to Home Assistant (MQTT discovery)</source>
        <translation>Die Geräte bei Home Assistant anmelden (MQTT-Discovery)</translation>
    </message>
</context>
<context>
    <name>trq::MqttFeed</name>
    <message>
        <source>MQTT: the client could not be made</source>
        <translation>MQTT: Der Client konnte nicht erstellt werden</translation>
    </message>
    <message>
        <source>MQTT: TLS could not be set up</source>
        <translation>MQTT: TLS konnte nicht eingerichtet werden</translation>
    </message>
    <message>
        <source>MQTT: connecting to %1:%2</source>
        <translation>MQTT: verbinde mit %1:%2</translation>
    </message>
    <message>
        <source>MQTT: publishing to %1:%2</source>
        <translation>MQTT: veröffentliche an %1:%2</translation>
    </message>
    <message>
        <source>not reachable</source>
        <translation>nicht erreichbar</translation>
    </message>
    <message>
        <source>MQTT: no broker at %1:%2 (%3), trying again</source>
        <translation>MQTT: kein Broker unter %1:%2 (%3), neuer Versuch</translation>
    </message>
    <message>
        <source>MQTT: the broker at %1:%2 refused the connection (%3), trying again</source>
        <translation>MQTT: Der Broker %1:%2 hat die Verbindung abgelehnt (%3), neuer Versuch folgt</translation>
    </message>
    <message>
        <source>connection lost</source>
        <translation>Verbindung verloren</translation>
    </message>
</context>
<context>
    <name>trq::NumberDialog</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>trq::PartSaver</name>
    <message>
        <source>Recording of %1</source>
        <translation>Aufzeichnung vom %1</translation>
    </message>
    <message>
        <source>%1 (part %2)</source>
        <translation>%1 (Teil %2)</translation>
    </message>
</context>
<context>
    <name>trq::PollRate</name>
    <message>
        <source>%1 readings/s</source>
        <translation>%1 Messwerte/s</translation>
    </message>
    <message>
        <source>%1, wire limit %2</source>
        <translation>%1, Leitungsgrenze %2</translation>
    </message>
</context>
<context>
    <name>trq::PowerSequencer</name>
    <message>
        <source>Step %1 (&quot;%2&quot;) %3</source>
        <translation>Schritt %1 („%2“) %3</translation>
    </message>
    <message>
        <source>waits longer than an hour</source>
        <translation>wartet länger als eine Stunde</translation>
    </message>
    <message>
        <source>is neither &quot;NAME on&quot;, &quot;NAME off&quot; nor a wait in ms or s</source>
        <translation>ist weder „NAME on“, „NAME off“ noch eine Wartezeit in ms oder s</translation>
    </message>
    <message>
        <source>names no supply of the bench (%1)</source>
        <translation>nennt kein Netzgerät des Messplatzes (%1)</translation>
    </message>
    <message>
        <source>A power order switches at least one supply</source>
        <translation>Eine Schaltfolge schaltet mindestens ein Netzgerät</translation>
    </message>
    <message>
        <source>%1 refused to switch its output %2</source>
        <translation>%1 hat das Schalten seines Ausgangs (%2) abgelehnt</translation>
    </message>
    <message>
        <source>on</source>
        <translation>ein</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>The power order stopped at step %1: %2.</source>
        <translation>Die Schaltfolge hat bei Schritt %1 angehalten: %2.</translation>
    </message>
    <message>
        <source>is not on the bench</source>
        <translation>gehört nicht zum Messplatz</translation>
    </message>
    <message>
        <source> Switched off: %1.</source>
        <translation> Ausgeschaltet: %1.</translation>
    </message>
    <message>
        <source> Could not be switched off: %1.</source>
        <translation> Nicht ausschaltbar: %1.</translation>
    </message>
</context>
<context>
    <name>trq::QtSerialPort</name>
    <message>
        <source>it is a folder, not a serial port</source>
        <translation>das ist ein Ordner, keine serielle Schnittstelle</translation>
    </message>
    <message>
        <source>it is a regular file, not a serial port</source>
        <translation>das ist eine gewöhnliche Datei, keine serielle Schnittstelle</translation>
    </message>
</context>
<context>
    <name>trq::RecordEvent</name>
    <message>
        <source>limit of CH%1 %2 tripped at %L3 %2 (bound %L4): %5</source>
        <translation>Grenzwert CH%1 %2 ausgelöst bei %L3 %2 (Grenze %L4): %5</translation>
    </message>
</context>
<context>
    <name>trq::RecordList</name>
    <message>
        <source>Filter: station, supply, 2026-12-01..2026-12-07</source>
        <translation>Filter: Station, Netzgerät, 2026-12-01..2026-12-07</translation>
    </message>
</context>
<context>
    <name>trq::RecordScale</name>
    <message>
        <source>1 second</source>
        <translation>1 Sekunde</translation>
    </message>
    <message>
        <source>2 seconds</source>
        <translation>2 Sekunden</translation>
    </message>
    <message>
        <source>5 seconds</source>
        <translation>5 Sekunden</translation>
    </message>
    <message>
        <source>10 seconds</source>
        <translation>10 Sekunden</translation>
    </message>
    <message>
        <source>30 seconds</source>
        <translation>30 Sekunden</translation>
    </message>
    <message>
        <source>1 min</source>
        <translation>1 Min.</translation>
    </message>
    <message>
        <source>5 mins</source>
        <translation>5 Min.</translation>
    </message>
    <message>
        <source>10 mins</source>
        <translation>10 Min.</translation>
    </message>
    <message>
        <source>30 mins</source>
        <translation>30 Min.</translation>
    </message>
    <message>
        <source>1 Hour</source>
        <translation>1 Stunde</translation>
    </message>
</context>
<context>
    <name>trq::RecordSetupDialog</name>
    <message>
        <source>The Max. Record Time Lenth must less than 8.9 Hours !</source>
        <translation>Die maximale Aufzeichnungsdauer muss unter 8,9 Stunden liegen!</translation>
    </message>
    <message>
        <source>The Max. Record Time Lenth must less than 17.8 Hours !</source>
        <translation>Die maximale Aufzeichnungsdauer muss unter 17,8 Stunden liegen!</translation>
    </message>
    <message>
        <source>The Max. Record Time Lenth must less than 1.8 day !</source>
        <translation>Die maximale Aufzeichnungsdauer muss unter 1,8 Tagen liegen!</translation>
    </message>
    <message>
        <source>The Max. Record Time Lenth must less than 3.8 day !</source>
        <translation>Die maximale Aufzeichnungsdauer muss unter 3,8 Tagen liegen!</translation>
    </message>
    <message>
        <source>Dialog Record Time Length</source>
        <translation>Aufzeichnungsdauer</translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>Minimum</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Mittelwert</translation>
    </message>
    <message>
        <source>Days:</source>
        <translation>Tage:</translation>
    </message>
    <message>
        <source>Hours:</source>
        <translation>Stunden:</translation>
    </message>
    <message>
        <source>Miniutes:</source>
        <translation>Minuten:</translation>
    </message>
    <message>
        <source>Seconds:</source>
        <translation>Sekunden:</translation>
    </message>
    <message>
        <source>Scale:</source>
        <translation>Zeitraster:</translation>
    </message>
    <message>
        <source>Point Operation:</source>
        <translation>Verdichtung:</translation>
    </message>
    <message>
        <source>Continuous (until stopped)</source>
        <translation>Fortlaufend (bis Stopp)</translation>
    </message>
    <message>
        <source>never</source>
        <translation>nie</translation>
    </message>
    <message>
        <source>Saves the points since the last part as a record of their own while recording</source>
        <translation>Speichert während der Aufzeichnung die Punkte seit dem letzten Teil als eigenen Datensatz</translation>
    </message>
    <message>
        <source>Save a part every:</source>
        <translation>Zwischenspeichern alle:</translation>
    </message>
    <message>
        <source>Ch%1 Color:</source>
        <translation>Ch%1 Farbe:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source><byte value="xd"/>
Choose &lt;Cancle&gt; to change other setting!</source>
        <translation><byte value="xd"/>
Wählen Sie &lt;Abbrechen&gt;, um andere Einstellungen zu ändern!</translation>
    </message>
    <message>
        <source>Round Timer Value should be numberic type and it is reset to 3000ms</source>
        <translation>Der Wert des Zyklus-Timers muss eine Zahl sein; er wurde auf 3000 ms zurückgesetzt.</translation>
    </message>
    <message>
        <source>Waiting Device&apos;s Response Timer Value should be numberic type and it is reset to 500ms</source>
        <translation>Der Wert des Timers für die Geräteantwort muss eine Zahl sein; er wurde auf 500 ms zurückgesetzt.</translation>
    </message>
    <message>
        <source>Writer Timer Value should be numberic type and it is reset to 100ms</source>
        <translation>Der Wert des Schreib-Timers muss eine Zahl sein; er wurde auf 100 ms zurückgesetzt.</translation>
    </message>
    <message>
        <source>Round Timer:</source>
        <translation>Zyklus-Timer:</translation>
    </message>
    <message>
        <source>Waiting Timer:</source>
        <translation>Warte-Timer:</translation>
    </message>
    <message>
        <source>Writer Timer:</source>
        <translation>Schreib-Timer:</translation>
    </message>
</context>
<context>
    <name>trq::RecordStoreDialog</name>
    <message>
        <source>This computer (%1)</source>
        <translation>Dieser Computer (%1)</translation>
    </message>
    <message>
        <source>A lab database (PostgreSQL)</source>
        <translation>Eine Labordatenbank (PostgreSQL)</translation>
    </message>
    <message>
        <source>Record store</source>
        <translation>Datensatzablage</translation>
    </message>
    <message>
        <source>this machine&apos;s name</source>
        <translation>der Name dieses Rechners</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Host:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Database:</source>
        <translation>Datenbank:</translation>
    </message>
    <message>
        <source>User:</source>
        <translation>Benutzer:</translation>
    </message>
    <message>
        <source>TLS mode:</source>
        <translation>TLS-Modus:</translation>
    </message>
    <message>
        <source>Station:</source>
        <translation>Station:</translation>
    </message>
    <message>
        <source>The password comes from ~/.pgpass (or the file PGPASSFILE names), never from here. Points are kept on this computer first and sent on; while the server is away they wait.</source>
        <translation>Das Passwort kommt aus ~/.pgpass (oder der Datei, die PGPASSFILE nennt), nie von hier. Punkte werden zuerst auf diesem Computer gespeichert und dann gesendet; solange der Server fehlt, warten sie.</translation>
    </message>
    <message>
        <source>A lab database needs its host and the database&apos;s name.</source>
        <translation>Eine Labordatenbank braucht ihren Host und den Namen der Datenbank.</translation>
    </message>
</context>
<context>
    <name>trq::Recording</name>
    <message>
        <source>Please Setup Record the period first.</source>
        <translation>Bitte richten Sie zuerst die Aufzeichnungsdauer ein.</translation>
    </message>
    <message>
        <source>A recording is running. Stop it before loading a record.</source>
        <translation>Eine Aufzeichnung läuft. Stoppen Sie sie, bevor Sie einen Datensatz laden.</translation>
    </message>
</context>
<context>
    <name>trq::RecordingEngine</name>
    <message>
        <source>Please check connection with device and then try again!</source>
        <translation>Bitte prüfen Sie die Verbindung zum Gerät und versuchen Sie es erneut!</translation>
    </message>
    <message>
        <source>Please setup Device into Auto Run mode and then try again!</source>
        <translation>Bitte schalten Sie das Gerät in den Auto-Lauf und versuchen Sie es erneut!</translation>
    </message>
    <message>
        <source>The database %1 is open read-only: nothing can be recorded.</source>
        <translation>Die Datenbank %1 ist schreibgeschützt geöffnet: Es kann nichts aufgezeichnet werden.</translation>
    </message>
    <message>
        <source>The recording has stopped: a point could not be stored in %1 (%2). The %3 points stored before it are kept.</source>
        <translation>Die Aufzeichnung wurde gestoppt: Ein Punkt konnte nicht in %1 gespeichert werden (%2). Die %3 zuvor gespeicherten Punkte bleiben erhalten.</translation>
    </message>
    <message>
        <source>another program has held the file for over %1 s: %2</source>
        <translation>ein anderes Programm hält die Datei seit über %1 s: %2</translation>
    </message>
    <message>
        <source>The database is busy; points waiting to be stored: %1</source>
        <translation>Die Datenbank ist belegt; Punkte, die auf das Speichern warten: %1</translation>
    </message>
    <message>
        <source>The recording cannot start: %1</source>
        <translation>Die Aufzeichnung kann nicht beginnen: %1</translation>
    </message>
</context>
<context>
    <name>trq::SampleTableModel</name>
    <message>
        <source>The first point after %1 s without readings (the link was lost).</source>
        <translation>Der erste Punkt nach %1 s ohne Messwerte (die Verbindung war unterbrochen).</translation>
    </message>
    <message>
        <source>Charge[Ah]</source>
        <translation>Ladung[Ah]</translation>
    </message>
    <message>
        <source>Energy[Wh]</source>
        <translation>Energie[Wh]</translation>
    </message>
    <message>
        <source>Voltage[V]</source>
        <translation>Spannung[V]</translation>
    </message>
    <message>
        <source>Current[A]</source>
        <translation>Strom[A]</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Sample No.</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>Sample Time</source>
        <translation>Messzeit</translation>
    </message>
    <message>
        <source>Comment</source>
        <translation>Kommentar</translation>
    </message>
    <message>
        <source>Condition</source>
        <translation>Bedingung</translation>
    </message>
</context>
<context>
    <name>trq::ScpiServer</name>
    <message>
        <source>The automation server cannot listen on port %1: %2</source>
        <translation>Der Automatisierungsserver kann nicht auf Port %1 lauschen: %2</translation>
    </message>
    <message>
        <source>The automation server accepts remote clients on port %1: anyone on the network can switch outputs.</source>
        <translation>Der Automatisierungsserver nimmt auf Port %1 entfernte Clients an: Jeder im Netzwerk kann Ausgänge schalten.</translation>
    </message>
    <message>
        <source>Automation server: client refused, %1 connected</source>
        <translation>Automatisierungsserver: Client abgewiesen, %1 verbunden</translation>
    </message>
    <message>
        <source>all addresses</source>
        <translation>alle Adressen</translation>
    </message>
    <message>
        <source>127.0.0.1 and ::1</source>
        <translation>127.0.0.1 und ::1</translation>
    </message>
    <message>
        <source>Automation server on %1, port %2, %3 client%4</source>
        <translation>Automatisierungsserver auf %1, Port %2, %3 Client%4</translation>
    </message>
    <message>
        <source>s</source>
        <translation>s</translation>
    </message>
    <message>
        <source>Automation server: client %1 closed after %2 minutes without a command</source>
        <translation>Automatisierungsserver: Client %1 nach %2 Minuten ohne Befehl geschlossen</translation>
    </message>
    <message>
        <source>Automation server: client %1 closed, it left its answers unread for %2 s</source>
        <translation>Automatisierungsserver: Client %1 geschlossen, er hat seine Antworten %2 s lang nicht gelesen</translation>
    </message>
</context>
<context>
    <name>trq::SequenceRunner</name>
    <message>
        <source>Step %1: the supply %2.</source>
        <translation>Schritt %1: das Gerät %2.</translation>
    </message>
    <message>
        <source>Step %1: the supply refused a setting.</source>
        <translation>Schritt %1: das Gerät hat eine Einstellung abgelehnt.</translation>
    </message>
    <message>
        <source>The sequence</source>
        <translation>Die Sequenz</translation>
    </message>
    <message>
        <source>Step %1</source>
        <translation>Schritt %1</translation>
    </message>
    <message>
        <source>%1: %2 held, a failure.</source>
        <translation>%1: %2 erfüllt, ein Fehlschlag.</translation>
    </message>
    <message>
        <source>%1: %2 held.</source>
        <translation>%1: %2 erfüllt.</translation>
    </message>
</context>
<context>
    <name>trq::SequenceTableModel</name>
    <message>
        <source>The table has no step.</source>
        <translation>Die Tabelle hat keinen Schritt.</translation>
    </message>
    <message>
        <source>Row %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
</context>
<context>
    <name>trq::SequenceWindow</name>
    <message>
        <source>&amp;Hold the last values at the end</source>
        <translation>Am Ende die letzten Werte &amp;halten</translation>
    </message>
    <message>
        <source>Sequence</source>
        <translation>Sequenz</translation>
    </message>
    <message>
        <source>&amp;Start from</source>
        <translation>&amp;Beginnen mit</translation>
    </message>
    <message>
        <source>&amp;Load...</source>
        <translation>&amp;Laden...</translation>
    </message>
    <message>
        <source>Sa&amp;ve...</source>
        <translation>Spei&amp;chern...</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>Re&amp;move</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>Move &amp;up</source>
        <translation>Nach &amp;oben</translation>
    </message>
    <message>
        <source>Move &amp;down</source>
        <translation>Nach &amp;unten</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Time (s)</source>
        <translation>Zeit (s)</translation>
    </message>
    <message>
        <source>Voltage (V)</source>
        <translation>Spannung (V)</translation>
    </message>
    <message>
        <source>Current (A)</source>
        <translation>Strom (A)</translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation>&amp;Ausführen</translation>
    </message>
    <message>
        <source>&amp;Pause</source>
        <translation>&amp;Pause</translation>
    </message>
    <message>
        <source>R&amp;esume</source>
        <translation>&amp;Fortsetzen</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>S&amp;topp</translation>
    </message>
    <message>
        <source>Stop was pressed.</source>
        <translation>Stopp wurde gedrückt.</translation>
    </message>
    <message>
        <source>S&amp;taircase...</source>
        <translation>&amp;Treppe...</translation>
    </message>
    <message>
        <source>&amp;Ramp...</source>
        <translation>&amp;Rampe...</translation>
    </message>
    <message>
        <source>&amp;On/off cycling...</source>
        <translation>&amp;Ein/Aus-Zyklen...</translation>
    </message>
    <message>
        <source>&amp;CC/CV charge...</source>
        <translation>&amp;CC/CV-Ladung...</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Kanal</translation>
    </message>
    <message>
        <source>Current limit (A)</source>
        <translation>Strombegrenzung (A)</translation>
    </message>
    <message>
        <source>Staircase</source>
        <translation>Treppe</translation>
    </message>
    <message>
        <source>From (V)</source>
        <translation>Von (V)</translation>
    </message>
    <message>
        <source>To (V)</source>
        <translation>Bis (V)</translation>
    </message>
    <message>
        <source>Steps</source>
        <translation>Schritte</translation>
    </message>
    <message>
        <source>Each step (s)</source>
        <translation>Je Schritt (s)</translation>
    </message>
    <message>
        <source>Ramp</source>
        <translation>Rampe</translation>
    </message>
    <message>
        <source>Ramp time (s)</source>
        <translation>Rampenzeit (s)</translation>
    </message>
    <message>
        <source>On/off cycling</source>
        <translation>Ein/Aus-Zyklen</translation>
    </message>
    <message>
        <source>On (s)</source>
        <translation>Ein (s)</translation>
    </message>
    <message>
        <source>Off (s)</source>
        <translation>Aus (s)</translation>
    </message>
    <message>
        <source>Cycles</source>
        <translation>Zyklen</translation>
    </message>
    <message>
        <source>CC/CV charge</source>
        <translation>CC/CV-Ladung</translation>
    </message>
    <message>
        <source>Charge current (A)</source>
        <translation>Ladestrom (A)</translation>
    </message>
    <message>
        <source>End voltage (V)</source>
        <translation>Ladeschlussspannung (V)</translation>
    </message>
    <message>
        <source>Cut-off current (A)</source>
        <translation>Abschaltstrom (A)</translation>
    </message>
    <message>
        <source>Each phase at most (h)</source>
        <translation>Jede Phase höchstens (h)</translation>
    </message>
    <message>
        <source>Replace the rows you edited?</source>
        <translation>Die bearbeiteten Zeilen ersetzen?</translation>
    </message>
    <message>
        <source>Sequences (*.csv);;All files (*)</source>
        <translation>Sequenzen (*.csv);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>%1 could not be read: %2</source>
        <translation>%1 konnte nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1 is no sequence. %2</source>
        <translation>%1 ist keine Sequenz. %2</translation>
    </message>
    <message>
        <source>Sequence — %1</source>
        <translation>Sequenz — %1</translation>
    </message>
    <message>
        <source>The table is no sequence yet. %1</source>
        <translation>Die Tabelle ist noch keine Sequenz. %1</translation>
    </message>
    <message>
        <source>Sequences (*.csv)</source>
        <translation>Sequenzen (*.csv)</translation>
    </message>
    <message>
        <source>%1 could not be written: %2</source>
        <translation>%1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Start from a starting point, load a file or add rows.</source>
        <translation>Mit einer Vorlage beginnen, eine Datei laden oder Zeilen hinzufügen.</translation>
    </message>
    <message>
        <source>Time (h)</source>
        <translation>Zeit (h)</translation>
    </message>
    <message>
        <source>Time (min)</source>
        <translation>Zeit (min)</translation>
    </message>
    <message>
        <source>CH%1</source>
        <translation>CH%1</translation>
    </message>
    <message>
        <source>%1 CH%2</source>
        <translation>%1 CH%2</translation>
    </message>
    <message>
        <source>%1 current</source>
        <translation>%1 Strom</translation>
    </message>
    <message>
        <source>%1 voltage</source>
        <translation>%1 Spannung</translation>
    </message>
    <message>
        <source>Planned length: %1.</source>
        <translation>Geplante Dauer: %1.</translation>
    </message>
    <message>
        <source>Conditions may end steps sooner than drawn.</source>
        <translation>Bedingungen können Schritte früher beenden als gezeichnet.</translation>
    </message>
    <message>
        <source>The run is too long to draw whole: its beginning is shown.</source>
        <translation>Der Lauf ist zu lang, um ganz gezeichnet zu werden: sein Anfang wird gezeigt.</translation>
    </message>
</context>
<context>
    <name>trq::SerialSettingsDialog</name>
    <message>
        <source>Auto Dectect</source>
        <translation>Auto-Erkennung</translation>
    </message>
    <message>
        <source>Show simulated supplies</source>
        <translation>Simulierte Netzgeräte zeigen</translation>
    </message>
    <message>
        <source>(COM1 - COM16)</source>
        <translation>(COM1 - COM16)</translation>
    </message>
    <message>
        <source>Config USB</source>
        <translation>USB konfigurieren</translation>
    </message>
    <message>
        <source>Your Device cannot find any connected device with Serial Port.</source>
        <translation>An der seriellen Schnittstelle wurde kein angeschlossenes Gerät gefunden.</translation>
    </message>
    <message>
        <source>Please recheck Line connection and Device Setting of your device!
Or Please restart power device.
And then Retry [Auto Detect] again</source>
        <translation>Bitte prüfen Sie Kabelverbindung und Geräteeinstellungen!
Oder starten Sie das Netzgerät neu.
Versuchen Sie dann erneut [Auto-Erkennung].</translation>
    </message>
    <message>
        <source>Detect Configuration Successfully!
Ports: %1 ,Baud Rate:%2
%3</source>
        <translation>Konfiguration erfolgreich erkannt!
Port: %1, Baudrate: %2
%3</translation>
    </message>
</context>
<context>
    <name>trq::SessionSequence</name>
    <message>
        <source>The link to the supply was lost.</source>
        <translation>Die Verbindung zum Gerät ist verloren.</translation>
    </message>
    <message>
        <source>A limit tripped.</source>
        <translation>Ein Grenzwert hat ausgelöst.</translation>
    </message>
    <message>
        <source>is off line</source>
        <translation>ist offline</translation>
    </message>
    <message>
        <source>The supply is off line.</source>
        <translation>Das Gerät ist offline.</translation>
    </message>
    <message>
        <source>A sequence runs already.</source>
        <translation>Eine Sequenz läuft bereits.</translation>
    </message>
    <message>
        <source>No sequence is loaded.</source>
        <translation>Es ist keine Sequenz geladen.</translation>
    </message>
    <message>
        <source>Step %1 (%2 of %3)</source>
        <translation>Schritt %1 (%2 von %3)</translation>
    </message>
    <message>
        <source>The link to %1 was lost.</source>
        <translation>Die Verbindung zu %1 ist verloren.</translation>
    </message>
    <message>
        <source>%1 was removed from the bench</source>
        <translation>%1 wurde vom Messplatz entfernt</translation>
    </message>
    <message>
        <source>%1 is off line</source>
        <translation>%1 ist offline</translation>
    </message>
    <message>
        <source>The supply %1 is off line.</source>
        <translation>Das Gerät %1 ist offline.</translation>
    </message>
    <message>
        <source>A limit of %1 tripped.</source>
        <translation>Ein Grenzwert von %1 hat ausgelöst.</translation>
    </message>
    <message>
        <source>Held longer than written, as the link changes one setting every %2 ms: step %1.</source>
        <translation>Länger gehalten als angegeben, da die Verbindung alle %2 ms eine Einstellung ändert: Schritt %1.</translation>
    </message>
</context>
<context>
    <name>trq::SupplyConnection</name>
    <message>
        <source>Testing mode</source>
        <translation>Testmodus</translation>
    </message>
    <message>
        <source>RS-232 %1BPS / 8bits/None/1bits</source>
        <translation>RS-232 %1 Bd / 8 Datenbits / keine Parität / 1 Stoppbit</translation>
    </message>
    <message>
        <source>Interface: GPIB;Address:</source>
        <translation>Schnittstelle: GPIB;Adresse:</translation>
    </message>
    <message>
        <source>The serial port %1 cannot be opened: you have no permission to use it. Serial ports belong to the group &quot;dialout&quot;; join it with

    sudo adduser %2 dialout

then log out and in again.</source>
        <translation>Die serielle Schnittstelle %1 kann nicht geöffnet werden: Sie haben keine Berechtigung dafür. Serielle Schnittstellen gehören zur Gruppe &quot;dialout&quot;; treten Sie ihr bei mit

    sudo adduser %2 dialout

und melden Sie sich danach ab und wieder an.</translation>
    </message>
    <message>
        <source>The serial port %1 cannot be opened: %2</source>
        <translation>Die serielle Schnittstelle %1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>unbekannter Fehler</translation>
    </message>
    <message>
        <source>Link lost — reconnecting…</source>
        <translation>Verbindung verloren — verbinde neu…</translation>
    </message>
    <message>
        <source>The link came back to another supply (%1, not %2); it stays closed. What was recorded is kept.</source>
        <translation>Die Verbindung führt jetzt zu einem anderen Netzgerät (%1, nicht %2); sie bleibt geschlossen. Das bisher Aufgezeichnete bleibt erhalten.</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>Reconnected</source>
        <translation>Wieder verbunden</translation>
    </message>
</context>
<context>
    <name>trq::SupplyControl</name>
    <message>
        <source>If you want to use the Parallel or Series feature, read the Parallel/Series Operation chapter of User Manual first.</source>
        <translation>Wenn Sie den Parallel- oder Serienbetrieb nutzen möchten, lesen Sie zuerst das Kapitel zum Parallel-/Serienbetrieb im Benutzerhandbuch.</translation>
    </message>
</context>
<context>
    <name>trq::SupplyMemories</name>
    <message>
        <source>Recall</source>
        <translation>Abrufen</translation>
    </message>
    <message>
        <source>Waiting Last Response...</source>
        <translation>Warte auf letzte Antwort...</translation>
    </message>
</context>
<context>
    <name>trq::SupplyPoll</name>
    <message>
        <source>%1 holds answers back for up to %2 ms (its latency timer), which halves the fast poll; lower it with: %3</source>
        <translation>%1 hält Antworten bis zu %2 ms zurück (sein Latenz-Timer), was die schnelle Abfrage halbiert; senken mit: %3</translation>
    </message>
</context>
<context>
    <name>trq::SupplyReplies</name>
    <message>
        <source>Error detected: &apos;%1&apos;</source>
        <translation>Fehler erkannt: &apos;%1&apos;</translation>
    </message>
</context>
<context>
    <name>trq::TableWindow</name>
    <message>
        <source>Data Table</source>
        <translation>Datentabelle</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Data Comment</source>
        <translation>Kommentar</translation>
    </message>
    <message>
        <source>No.</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>Start Time:</source>
        <translation>Startzeit:</translation>
    </message>
    <message>
        <source>End Time:</source>
        <translation>Endzeit:</translation>
    </message>
    <message>
        <source>MEMO</source>
        <translation>Notiz</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>Report...</source>
        <translation>Bericht...</translation>
    </message>
    <message>
        <source>Generate</source>
        <translation>Erzeugen</translation>
    </message>
    <message>
        <source>Do you want to clear all of data records?</source>
        <translation>Möchten Sie alle Messdaten löschen?</translation>
    </message>
    <message>
        <source>You need do record first and then try this again!</source>
        <translation>Zeichnen Sie zuerst auf und versuchen Sie es dann erneut!</translation>
    </message>
    <message>
        <source>Do you want to save this record data?</source>
        <translation>Möchten Sie diese Aufzeichnung speichern?</translation>
    </message>
    <message>
        <source>Do you replace existing data with current record?</source>
        <translation>Möchten Sie die vorhandenen Daten durch die aktuelle Aufzeichnung ersetzen?</translation>
    </message>
    <message>
        <source>All</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source>Above the upper limit</source>
        <translation>Über Obergrenze</translation>
    </message>
    <message>
        <source>Below the lower limit</source>
        <translation>Unter Untergrenze</translation>
    </message>
    <message>
        <source>Condition: fixed level (rel. to reading)</source>
        <translation>Bedingung: fester Wert (rel. zum Messwert)</translation>
    </message>
    <message>
        <source>Condition: percentage (rel. to reading)</source>
        <translation>Bedingung: Prozent (rel. zum Messwert)</translation>
    </message>
</context>
<context>
    <name>trq::TaskScheduler</name>
    <message>
        <source>Read Times Failed!</source>
        <translation>Lesezeit überschritten!</translation>
    </message>
    <message>
        <source>Cannot get Data from device!</source>
        <translation>Keine Daten vom Gerät erhalten!</translation>
    </message>
</context>
<context>
    <name>trq::Text</name>
    <message>
        <source>Querying the machine type is timeout!</source>
        <translation>Zeitüberschreitung beim Abfragen des Gerätetyps!</translation>
    </message>
    <message>
        <source>Reset and open it?</source>
        <translation>Zurücksetzen und neu öffnen?</translation>
    </message>
    <message>
        <source>REOPEN?</source>
        <translation>Neu öffnen?</translation>
    </message>
    <message>
        <source>Getting the machine type...</source>
        <translation>Gerätetyp wird abgefragt...</translation>
    </message>
    <message>
        <source>Timeout!</source>
        <translation>Zeitüberschreitung!</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Einrichten</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Operation Timeout, Causes Reset Now.</source>
        <translation>Zeitüberschreitung, es wird jetzt zurückgesetzt.</translation>
    </message>
    <message>
        <source>TIMEOUT!</source>
        <translation>ZEITÜBERSCHREITUNG!</translation>
    </message>
    <message>
        <source>Start Memory:</source>
        <translation>Erster Speicher:</translation>
    </message>
    <message>
        <source>End Memory:</source>
        <translation>Letzter Speicher:</translation>
    </message>
    <message>
        <source>Cycle:</source>
        <translation>Zyklen:</translation>
    </message>
    <message>
        <source>Ports</source>
        <translation>Anschluss</translation>
    </message>
    <message>
        <source>Baud Rate</source>
        <translation>Baudrate</translation>
    </message>
    <message>
        <source>Data Bits: 8 bits</source>
        <translation>Datenbits: 8 Bit</translation>
    </message>
    <message>
        <source>Parity Bit: None</source>
        <translation>Parität: keine</translation>
    </message>
    <message>
        <source>Stop Bit: 1 bit</source>
        <translation>Stoppbit: 1 Bit</translation>
    </message>
    <message>
        <source>Config RS232</source>
        <translation>RS232 einrichten</translation>
    </message>
    <message>
        <source>Delay</source>
        <translation>Verzögerung</translation>
    </message>
    <message>
        <source>x 100ms</source>
        <translation>x 100 ms</translation>
    </message>
    <message>
        <source>Now querying initial values, please wait...</source>
        <translation>Die Anfangswerte werden abgefragt, bitte warten...</translation>
    </message>
    <message>
        <source>Querying...</source>
        <translation>Abfrage...</translation>
    </message>
    <message>
        <source>Max time to complete one set of queries</source>
        <translation>Höchstdauer eines Abfragezyklus</translation>
    </message>
    <message>
        <source>sec</source>
        <translation>s</translation>
    </message>
    <message>
        <source>Read Time</source>
        <translation>Lesezeit</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Speicher</translation>
    </message>
    <message>
        <source>Recall Data</source>
        <translation>Daten abrufen</translation>
    </message>
    <message>
        <source>Save Data</source>
        <translation>Daten speichern</translation>
    </message>
    <message>
        <source>POWER_TRQ</source>
        <translation>POWER_TRQ</translation>
    </message>
    <message>
        <source>Remote control and recording for programmable DC power supplies.</source>
        <translation>Fernsteuerung und Aufzeichnung für programmierbare DC-Netzgeräte.</translation>
    </message>
    <message>
        <source>CHANNEL 1</source>
        <translation>KANAL 1</translation>
    </message>
    <message>
        <source>CHANNEL 2</source>
        <translation>KANAL 2</translation>
    </message>
    <message>
        <source>CHANNEL 3</source>
        <translation>KANAL 3</translation>
    </message>
    <message>
        <source>CHANNEL 4</source>
        <translation>KANAL 4</translation>
    </message>
</context>
<context>
    <name>trq::TraceWindow</name>
    <message>
        <source>Debug</source>
        <translation>Debug-Protokoll</translation>
    </message>
</context>
<context>
    <name>trq::WaitDialog</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>trq::WorkingRecord</name>
    <message>
        <source>The current recording is not saved. Discard it?</source>
        <translation>Die aktuelle Aufzeichnung ist nicht gespeichert. Verwerfen?</translation>
    </message>
    <message>
        <source>nothing recorded</source>
        <translation>nichts aufgezeichnet</translation>
    </message>
</context>
</TS>
